#include "jobs/dest_name.h"

#include <climits>
#include <filesystem>

#include "app/version_text.h"
#include "settings/output_folder.h"
#include "settings/settings_keys.h"

namespace kestrel::jobs {
namespace {

// A dangling link counts as taken: writing through it would create its target.
bool Taken(const std::string& path) {
  std::error_code ec;
  const auto status = std::filesystem::symlink_status(path, ec);
  if (ec) return ec != std::errc::no_such_file_or_directory;  // unknown: do not use it
  return std::filesystem::exists(status);
}

std::string BaseName(const std::string& source) {
  return std::filesystem::path(source).stem().string();
}

}  // namespace

std::string DestCandidate(const std::string& folder, const std::string& base,
                          const std::string& suffix, long long n) {
  if (n == 0) return folder + base + "_(new)" + suffix;
  return folder + base + "_(new_" + std::to_string(n) + ")" + suffix;
}

TDestName MakeDestName(settings::IniFile& settings, const std::string& source,
                       const std::string& suffix, const std::set<std::string>& reserved) {
  TDestName result;
  const settings::FolderCheck check =
      settings::CheckOutputFolder(settings, settings::key::kOutPutDir);
  result.warning = check.warning;
  if (!check.ok()) {
    result.error = check.error;
    return result;
  }
  std::string folder = check.folder;
  if (app::RightStr(folder, 1) != "/") folder += "/";
  const std::string base = BaseName(source);
  for (long long n = 0; n < LLONG_MAX; ++n) {
    std::string candidate = DestCandidate(folder, base, suffix, n);
    if (!reserved.contains(candidate) && !Taken(candidate)) {
      result.path = std::move(candidate);
      return result;
    }
  }
  result.error = "No free destination name for " + source + " in " + folder;
  return result;
}

}  // namespace kestrel::jobs
