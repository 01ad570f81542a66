// Settings and catalogue files for the jobs tests, in a folder of each test's own.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "settings/ini_file.h"

namespace kestrel::test {

using KeyValues = std::vector<std::pair<std::string, std::string>>;

// An empty folder named after the running test.
std::string FreshTestFolder();

// Writes `values` into section `section` of a new ini file `name` in `folder`.
settings::IniFile WriteIni(const std::string& folder, const std::string& name,
                           const std::string& section, const KeyValues& values);

// Creates an empty file.
void Touch(const std::string& path);

}  // namespace kestrel::test
