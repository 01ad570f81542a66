// What kestrel-cli convert prepares before the job list: the profile named on the command
// line, a working copy of the settings file that holds the command's choices, and the
// output folder.
#pragma once

#include <string>

#include "settings/ini_file.h"

namespace kestrel::cli {

// The profile code of "CODE" or of a profile name (case ignored); an empty text is the
// settings' current profile. 0 with `error` set when nothing matches.
int ResolveProfile(const std::string& text, const settings::IniFile& settings,
                   const settings::IniFile& catalogue, std::string& error);

// A private copy of the settings file in a fresh temporary folder, removed again with
// the object: the run may write to it (the chosen profile, the output folder) while the
// user's file stays as it was.
class SettingsCopy {
 public:
  explicit SettingsCopy(const std::string& user_settings);
  ~SettingsCopy();
  SettingsCopy(const SettingsCopy&) = delete;
  SettingsCopy& operator=(const SettingsCopy&) = delete;

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  settings::IniFile& File() { return file_; }

 private:
  std::string folder_;
  std::string error_;
  settings::IniFile file_{""};
};

// Creates the folder with its parents when missing and checks that files can be made in
// it; the reason when not.
std::string PrepareOutputFolder(const std::string& folder);

}  // namespace kestrel::cli
