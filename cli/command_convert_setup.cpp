#include "cli/command_convert_setup.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "settings/profile_keys.h"
#include "settings/profile_table.h"
#include "settings/settings_keys.h"

namespace kestrel::cli {
namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return text;
}

bool AllDigits(const std::string& text) {
  return !text.empty() && text.size() < 9 &&
         text.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

int ResolveProfile(const std::string& text, const settings::IniFile& settings,
                   const settings::IniFile& catalogue, std::string& error) {
  int code = 0;
  if (text.empty()) {
    code = settings::ReadFormatCode(settings);
  } else if (AllDigits(text)) {
    code = std::atoi(text.c_str());
  } else {
    for (const settings::ListedProfile& profile : settings::ListedProfiles())
      if (Lower(std::string(profile.name)) == Lower(text)) code = profile.code;
    if (code == 0) {
      error = "unknown profile '" + text + "'; 'kestrel-cli profiles' lists the profiles";
      return 0;
    }
  }
  if (!catalogue.SectionExists(settings::ProfileSection(code))) {
    error = "profile " + std::to_string(code) + " is not in the catalogue " + catalogue.FileName() +
            "; 'kestrel-cli profiles' lists the profiles";
    return 0;
  }
  return code;
}

SettingsCopy::SettingsCopy(const std::string& user_settings) {
  std::error_code ec;
  std::string pattern = (std::filesystem::temp_directory_path(ec) / "kestrel-cli-XXXXXX").string();
  if (ec || !mkdtemp(pattern.data())) {
    error_ = "cannot make a temporary folder: " + std::string(std::strerror(errno));
    return;
  }
  folder_ = pattern;
  const std::string copy = folder_ + "/" + std::filesystem::path(user_settings).filename().string();
  if (std::filesystem::exists(user_settings, ec)) {
    std::filesystem::copy_file(user_settings, copy, ec);
    if (ec) error_ = "cannot read the settings file " + user_settings + ": " + ec.message();
  }
  file_ = settings::IniFile(copy);
}

SettingsCopy::~SettingsCopy() {
  std::error_code ec;
  if (!folder_.empty()) std::filesystem::remove_all(folder_, ec);
}

std::string PrepareOutputFolder(const std::string& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) return ec.message();
  if (!std::filesystem::is_directory(folder, ec)) return "Not a directory";
  // Make (and remove) a file: access() would let root pass on a read-only file system.
  std::string probe = folder + "/.kestrel-write-test-XXXXXX";
  const int fd = mkstemp(probe.data());
  if (fd < 0) return std::strerror(errno);
  close(fd);
  unlink(probe.c_str());
  return "";
}

}  // namespace kestrel::cli
