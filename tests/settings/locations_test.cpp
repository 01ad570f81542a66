#include "settings/locations.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "settings/output_folder.h"
#include "settings/settings_keys.h"
#include "tests/settings/temp_files.h"

namespace kestrel::settings {
namespace {

using test::FreshDir;
using test::ReadText;
using test::WriteText;

// Points HOME and XDG_CONFIG_HOME somewhere of the test's own for its lifetime.
class HomeFolder {
 public:
  explicit HomeFolder(const std::string& name, const char* xdg = nullptr) {
    home_ = FreshDir(name);
    Keep("HOME", home_.c_str());
    Keep("XDG_CONFIG_HOME", xdg);
  }
  ~HomeFolder() {
    for (auto& [name, value] : saved_) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
  }
  const std::string& path() const { return home_; }

 private:
  void Keep(const std::string& name, const char* value) {
    const char* old = std::getenv(name.c_str());
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    if (value) {
      ::setenv(name.c_str(), value, 1);
    } else {
      ::unsetenv(name.c_str());
    }
  }
  std::string home_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(Locations, SettingsFileBesideAWritableExecutableFolder) {
  HomeFolder home("home-writable");
  const std::string exe = FreshDir("exe-writable");
  EXPECT_EQ(SettingsFileFor(exe), exe + "/kestrelxboxvideoconverter.ini");
}

TEST(Locations, SettingsFileInTheConfigFolderOtherwise) {
  const struct {
    const char* xdg;
    const char* expected_below_home;  // nullptr: below XDG_CONFIG_HOME
  } cases[] = {
      {nullptr, "/.config/kestrel/"}, {"relative/dir", "/.config/kestrel/"}, {"", nullptr}};
  for (const auto& c : cases) {
    HomeFolder home("home-config");
    const std::string xdg = home.path() + "/xdg";
    if (c.xdg) ::setenv("XDG_CONFIG_HOME", *c.xdg ? c.xdg : xdg.c_str(), 1);
    const std::string expected_dir =
        c.expected_below_home ? home.path() + c.expected_below_home : xdg + "/kestrel/";
    // A folder that does not exist is not writable either.
    EXPECT_EQ(SettingsFileFor(home.path() + "/no/such/bin"),
              expected_dir + "kestrelxboxvideoconverter.ini");
    EXPECT_TRUE(std::filesystem::is_directory(expected_dir)) << expected_dir;
  }
  // A read-only executable folder, seen by an ordinary user.
  HomeFolder home("home-readonly");
  const std::string exe = FreshDir("exe-readonly");
  ::chmod(exe.c_str(), 0555);
  ::chmod(home.path().c_str(), 0777);
  const std::string expected = home.path() + "/.config/kestrel/kestrelxboxvideoconverter.ini";
  EXPECT_EQ(test::RunUnprivileged([&] { return SettingsFileFor(exe) == expected ? 0 : 1; }), 0);
  ::chmod(exe.c_str(), 0755);
}

TEST(Locations, CatalogueBesideTheExecutableElseInstalledData) {
  const std::string root = FreshDir("install");
  const std::string bin = root + "/bin";
  const std::string data = root + "/share/kestrel";
  std::filesystem::create_directories(bin);
  std::filesystem::create_directories(data);
  EXPECT_EQ(CatalogueFileFor(bin), bin + "/kestrelxboxformat.ini") << "none anywhere";
  WriteText(data + "/kestrelxboxformat.ini", "");
  EXPECT_EQ(CatalogueFileFor(bin), data + "/kestrelxboxformat.ini");
  WriteText(bin + "/kestrelxboxformat.ini", "");
  EXPECT_EQ(CatalogueFileFor(bin + "/"), bin + "/kestrelxboxformat.ini");
}

TEST(Locations, DefaultOutputFolderIsInTheHomeFolder) {
  HomeFolder home("home-output");
  EXPECT_EQ(DefaultOutputFolder(), home.path() + "/videoconverter");
  ::setenv("HOME", (home.path() + "/").c_str(), 1);
  EXPECT_EQ(DefaultOutputFolder(), home.path() + "/videoconverter");
}

struct FolderCase {
  const char* name;
  const char* stored;  // "/..." below the test folder, other texts as they are; nullptr: absent
  bool falls_back;
};
void PrintTo(const FolderCase& c, std::ostream* os) {
  *os << c.name;
}

class OutputFolder : public testing::TestWithParam<FolderCase> {};

TEST_P(OutputFolder, UsesCreatesOrFallsBackAndWritesBack) {
  const FolderCase& c = GetParam();
  HomeFolder home(std::string("out-") + c.name);
  const std::string dir = home.path();
  WriteText(dir + "/a-file", "x");
  IniFile settings(dir + "/settings.ini");
  const std::string stored = !c.stored ? "" : c.stored[0] == '/' ? dir + c.stored : c.stored;
  for (std::string_view key : {key::kOutPutDir, key::kSnapOutPutDir}) {
    if (c.stored) {
      ASSERT_TRUE(settings.WriteString(kSettingsSection, key, stored));
    }
    const FolderCheck check = CheckOutputFolder(settings, key);
    EXPECT_TRUE(check.ok()) << check.error;
    EXPECT_EQ(check.fell_back, c.falls_back);
    const std::string expected = c.falls_back || !c.stored ? dir + "/videoconverter" : stored;
    EXPECT_EQ(check.folder, expected);
    EXPECT_TRUE(std::filesystem::is_directory(check.folder));
    if (c.falls_back) {
      EXPECT_EQ(check.warning, "Cannot create output directory:" + stored +
                                   ".It will create default directory " + dir + "/videoconverter!");
      EXPECT_EQ(settings.ReadString(kSettingsSection, key, ""), dir + "/videoconverter");
    } else {
      EXPECT_EQ(check.warning, "");
      EXPECT_EQ(settings.ValueExists(kSettingsSection, key), c.stored != nullptr);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, OutputFolder,
                         testing::Values(FolderCase{"Absent", nullptr, false},
                                         FolderCase{"Existing", "/", false},
                                         FolderCase{"CreatedWithParents", "/new/deep/out", false},
                                         FolderCase{"BelowAFile", "/a-file/out", true},
                                         FolderCase{"IsAFile", "/a-file", true},
                                         FolderCase{"Empty", "", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(OutputFolderCheck, AFallbackThatFailsIsAnError) {
  HomeFolder home("out-failing");
  const std::string dir = home.path();
  WriteText(dir + "/a-file", "x");
  const std::string path = dir + "/settings.ini";
  WriteText(path, "[settings]\nOutPutDir=" + dir + "/a-file/out\n");
  IniFile settings(path);

  // The default folder is blocked by a file.
  WriteText(dir + "/videoconverter", "a file in the way");
  const FolderCheck blocked = CheckOutputFolder(settings, key::kOutPutDir);
  EXPECT_FALSE(blocked.ok());
  EXPECT_TRUE(blocked.fell_back);
  EXPECT_NE(blocked.error.find(dir + "/videoconverter"), std::string::npos) << blocked.error;
  std::filesystem::remove(dir + "/videoconverter");

  // The default folder can be made but the settings file cannot be written.
  ::chmod(dir.c_str(), 0777);
  ::chmod(path.c_str(), 0444);
  const int result = test::RunUnprivileged([&] {
    const FolderCheck check = CheckOutputFolder(settings, key::kOutPutDir);
    if (check.ok() || !check.fell_back) return 1;
    return check.folder == dir + "/videoconverter" && check.error.find(path) != std::string::npos
               ? 0
               : 2;
  });
  ::chmod(dir.c_str(), 0755);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ReadText(path), "[settings]\nOutPutDir=" + dir + "/a-file/out\n");
}

}  // namespace
}  // namespace kestrel::settings
