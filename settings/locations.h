// Where the program's files live. The settings file sits beside the executable when that
// folder is writable (a portable copy keeps everything in one place), otherwise in
// $XDG_CONFIG_HOME/kestrel/ (default ~/.config/kestrel/). The catalogue is read from beside
// the executable, else from the installed data folder. Folders are returned with a
// trailing "/".
#pragma once

#include <string>
#include <string_view>

namespace kestrel::settings {

inline constexpr std::string_view kSettingsFileName = "kestrelxboxvideoconverter.ini";
inline constexpr std::string_view kCatalogueFileName = "kestrelxboxformat.ini";

// The running executable's folder.
std::string ExecutableDir();

// The user's home folder ($HOME, else the password database).
std::string HomeDir();

// $XDG_CONFIG_HOME/kestrel/ when that variable holds an absolute path, else
// ~/.config/kestrel/.
std::string ConfigDir();

// The settings file for an executable in `exe_dir`; the configuration folder is created
// when it is the one chosen (so that the first write can create the file).
std::string SettingsFileFor(const std::string& exe_dir);
std::string SettingsFilePath();  // for the running executable

// The first existing of: `exe_dir`, `exe_dir`/../share/kestrel/, the data folder of the
// installation; the one beside the executable when none holds the file.
std::string CatalogueFileFor(const std::string& exe_dir);
std::string CatalogueFilePath();

// The default and fallback output (and snapshot) folder: ~/videoconverter, no trailing "/".
std::string DefaultOutputFolder();

}  // namespace kestrel::settings
