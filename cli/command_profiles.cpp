// kestrel-cli profiles: the picker's categories with the code and name of each profile,
// and whether the catalogue file describes it.
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "cli/command_registry.h"
#include "settings/ini_file.h"
#include "settings/locations.h"
#include "settings/profile_keys.h"
#include "settings/profile_table.h"

namespace kestrel::cli {
namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return text;
}

void PrintHelp() {
  std::printf(
      "Usage: kestrel-cli profiles [--help]\n\n"
      "Lists the output profiles by category: the code that names a profile's section in\n"
      "the catalogue and settings files, and the profile's name. Profiles the catalogue\n"
      "file does not describe are marked.\n");
}

int RunProfiles(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      PrintHelp();
      return 0;
    }
    std::fprintf(stderr, "kestrel-cli profiles: unknown argument '%s'\n", arg.c_str());
    return 2;
  }
  const settings::IniFile catalogue(settings::CatalogueFilePath());
  std::set<std::string> sections;
  for (const std::string& name : catalogue.ReadSections()) sections.insert(Lower(name));
  std::printf("Catalogue: %s\n", catalogue.FileName().c_str());
  int missing = 0;
  for (const settings::CategoryRow& category : settings::PickerTable()) {
    std::printf("\n%s\n", std::string(category.label).c_str());
    for (size_t p = 0; p < category.names.size(); ++p) {
      const int code = settings::ProfileCode(category.code_base, static_cast<int>(p));
      const bool described = sections.count(Lower(settings::ProfileSection(code))) > 0;
      missing += described ? 0 : 1;
      std::printf("  %5d  %s%s\n", code, std::string(category.names[p]).c_str(),
                  described ? "" : "  [not in the catalogue]");
    }
  }
  std::printf("\n%zu profiles in %zu categories", settings::ListedCodes().size(),
              settings::PickerTable().size());
  if (missing > 0) std::printf("; %d picker rows without a catalogue section", missing);
  std::printf(".\n");
  return 0;
}

const CommandRegistrar kProfiles("profiles", "list the output profiles and their codes",
                                 RunProfiles);

}  // namespace
}  // namespace kestrel::cli
