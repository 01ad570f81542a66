// The check made when an output or snapshot folder is used: a folder that does not exist
// is created with its missing parents; when that fails, the default folder is created and
// written back to the settings key instead, and the caller gets the warning to show.
#pragma once

#include <string>
#include <string_view>

#include "settings/ini_file.h"

namespace kestrel::settings {

struct FolderCheck {
  std::string folder;   // the folder to use (no trailing "/" added)
  std::string warning;  // for the user, "Warning" as title; empty when the folder was fine
  std::string error;    // empty unless even the fallback failed or could not be stored
  bool fell_back = false;
  bool ok() const { return error.empty(); }
};

// Reads `key` ("OutPutDir" or "SnapOutPutDir") of section "settings" with the default
// folder as default, and checks it as above.
FolderCheck CheckOutputFolder(IniFile& settings, std::string_view key);

// The warning text for a folder that cannot be created.
std::string CannotCreateFolderWarning(std::string_view folder);

}  // namespace kestrel::settings
