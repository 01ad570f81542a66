#include "settings/output_folder.h"

#include <filesystem>

#include "settings/locations.h"
#include "settings/settings_keys.h"

namespace kestrel::settings {

namespace {

// Empty when `folder` is (now) a folder; otherwise why not.
std::string MakeFolder(const std::string& folder) {
  if (folder.empty()) return "no folder given";
  std::error_code ec;
  if (std::filesystem::is_directory(folder, ec)) return {};
  std::filesystem::create_directories(folder, ec);
  std::error_code ignored;
  if (std::filesystem::is_directory(folder, ignored)) return {};
  return ec ? ec.message() : "a file of that name is in the way";
}

}  // namespace

std::string CannotCreateFolderWarning(std::string_view folder) {
  return "Cannot create output directory:" + std::string(folder) +
         ".It will create default directory " + DefaultOutputFolder() + "!";
}

FolderCheck CheckOutputFolder(IniFile& settings, std::string_view key) {
  FolderCheck check;
  check.folder = settings.ReadString(kSettingsSection, key, DefaultOutputFolder());
  if (MakeFolder(check.folder).empty()) return check;

  check.warning = CannotCreateFolderWarning(check.folder);
  check.fell_back = true;
  check.folder = DefaultOutputFolder();
  if (const std::string why = MakeFolder(check.folder); !why.empty()) {
    check.error = "Cannot create " + check.folder + ": " + why;
  } else if (!settings.WriteString(kSettingsSection, key, check.folder)) {
    check.error = settings.LastErrMsg();
  }
  return check;
}

}  // namespace kestrel::settings
