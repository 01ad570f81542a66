#include "tests/jobs/jobs_test_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/fixtures.h"

namespace kestrel::test {

std::string FreshTestFolder() {
  const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  const std::filesystem::path folder = std::filesystem::path(TempDir()) / "jobs" / name;
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder.string();
}

settings::IniFile WriteIni(const std::string& folder, const std::string& name,
                           const std::string& section, const KeyValues& values) {
  settings::IniFile file(folder + "/" + name);
  std::vector<settings::IniFile::Entry> entries;
  for (const auto& [key, value] : values) entries.push_back({section, key, value});
  if (!entries.empty()) {
    EXPECT_TRUE(file.WriteEntries(entries)) << file.LastErrMsg();
  }
  return file;
}

void Touch(const std::string& path) {
  std::ofstream(path, std::ios::binary).flush();
  EXPECT_TRUE(std::filesystem::exists(path)) << path;
}

}  // namespace kestrel::test
