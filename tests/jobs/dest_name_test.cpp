#include "jobs/dest_name.h"

#include <gtest/gtest.h>

#include <ostream>

#include <cstdlib>
#include <filesystem>

#include "settings/settings_keys.h"
#include "tests/jobs/jobs_test_files.h"

namespace kestrel::jobs {
namespace {

namespace fs = std::filesystem;

struct TakenCase {
  const char* name;
  std::vector<std::string> existing;  // in the output folder
  std::string expected;
};

// Test listings name the case rather than dump its bytes.
void PrintTo(const TakenCase& c, std::ostream* os) {
  *os << c.name;
}

class DestNameTest : public testing::TestWithParam<TakenCase> {};

TEST_P(DestNameTest, TakesTheFirstFreeName) {
  const std::string folder = test::FreshTestFolder();
  const std::string out = folder + "/out";
  fs::create_directories(out);
  for (const std::string& name : GetParam().existing) {
    if (name.ends_with("/")) {
      fs::create_directories(out + "/" + name);
    } else if (name.starts_with("link:")) {
      fs::create_symlink(folder + "/nowhere", out + "/" + name.substr(5));
    } else {
      test::Touch(out + "/" + name);
    }
  }
  settings::IniFile settings =
      test::WriteIni(folder, "settings.ini", "settings", {{"OutPutDir", out}});
  const TDestName dest = MakeDestName(settings, "/videos/movie.avi", ".mp4");
  ASSERT_TRUE(dest.ok()) << dest.error;
  EXPECT_EQ(dest.path, out + "/" + GetParam().expected);
  EXPECT_EQ(dest.warning, "");
  EXPECT_FALSE(fs::exists(fs::symlink_status(dest.path)));
}

INSTANTIATE_TEST_SUITE_P(
    Names, DestNameTest,
    testing::Values(
        TakenCase{"NothingThere", {}, "movie_(new).mp4"},
        TakenCase{"TwoTaken", {"movie_(new).mp4", "movie_(new_1).mp4"}, "movie_(new_2).mp4"},
        TakenCase{"GapIsUsed", {"movie_(new).mp4", "movie_(new_2).mp4"}, "movie_(new_1).mp4"},
        TakenCase{"OtherExtensionDoesNotCount", {"movie_(new).avi"}, "movie_(new).mp4"},
        TakenCase{"FolderCounts", {"movie_(new).mp4/"}, "movie_(new_1).mp4"},
        TakenCase{"DanglingLinkCounts", {"link:movie_(new).mp4"}, "movie_(new_1).mp4"}),
    [](const testing::TestParamInfo<TakenCase>& info) { return std::string(info.param.name); });

TEST(DestNameFolder, FolderIsCreatedAndNotDoubleSlashed) {
  const std::string folder = test::FreshTestFolder();
  settings::IniFile settings =
      test::WriteIni(folder, "settings.ini", "settings", {{"OutPutDir", folder + "/a/b/"}});
  const TDestName dest = MakeDestName(settings, "clip.tar.mkv", ".webm");
  ASSERT_TRUE(dest.ok()) << dest.error;
  EXPECT_EQ(dest.path, folder + "/a/b/clip.tar_(new).webm");
  EXPECT_TRUE(fs::is_directory(folder + "/a/b"));
}

// A folder that cannot be created gives the warning and the default folder, which is
// stored for the next time.
TEST(DestNameFolder, FallsBackToTheDefaultFolder) {
  const std::string folder = test::FreshTestFolder();
  test::Touch(folder + "/file");
  const char* old_home = std::getenv("HOME");
  const std::string saved = old_home ? old_home : "";
  setenv("HOME", folder.c_str(), 1);
  settings::IniFile settings =
      test::WriteIni(folder, "settings.ini", "settings", {{"OutPutDir", folder + "/file/sub"}});
  const TDestName dest = MakeDestName(settings, "movie.avi", ".mp4");
  setenv("HOME", saved.c_str(), 1);

  ASSERT_TRUE(dest.ok()) << dest.error;
  EXPECT_EQ(dest.path, folder + "/videoconverter/movie_(new).mp4");
  EXPECT_NE(dest.warning.find(folder + "/file/sub"), std::string::npos) << dest.warning;
  EXPECT_EQ(settings.ReadString("settings", "OutPutDir", ""), folder + "/videoconverter");
}

}  // namespace
}  // namespace kestrel::jobs
