#include "settings/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <random>

#include "tests/settings/temp_files.h"

namespace kestrel::settings {
namespace {

using test::FreshDir;
using test::ReadText;
using test::WriteText;

struct ReadCase {
  const char* name;
  const char* file;  // nullptr: no file at all
  const char* section;
  const char* key;
  const char* text;  // ReadString with default "dflt"
  int integer;       // ReadInteger with default -7
  bool boolean;      // ReadBool with default true
};
void PrintTo(const ReadCase& c, std::ostream* os) {
  *os << c.name;
}

class IniRead : public testing::TestWithParam<ReadCase> {};

TEST_P(IniRead, FollowsWindowsRules) {
  const ReadCase& c = GetParam();
  const std::string path = FreshDir("read") + "/a.ini";
  if (c.file) WriteText(path, c.file);
  const IniFile ini(path);
  EXPECT_EQ(ini.ReadString(c.section, c.key, "dflt"), c.text);
  EXPECT_EQ(ini.ReadInteger(c.section, c.key, -7), c.integer);
  EXPECT_EQ(ini.ReadBool(c.section, c.key, true), c.boolean);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniRead,
    testing::Values(
        ReadCase{"MissingFile", nullptr, "settings", "volume", "dflt", -7, true},
        ReadCase{"MissingSection", "[other]\nvolume=5\n", "settings", "volume", "dflt", -7, true},
        ReadCase{"MissingKey", "[settings]\nmute=1\n", "settings", "volume", "dflt", -7, true},
        ReadCase{"NamesIgnoreCase", "[Settings]\nsnapOutPutDir=12\n", "SETTINGS", "SnapOutPutDir",
                 "12", 12, true},
        ReadCase{"NonNumericInteger", "[s]\nk=12ab\n", "s", "k", "12ab", -7, true},
        ReadCase{"NegativeAndZero", "[s]\nk=-3\nz=0\n", "s", "z", "0", 0, false},
        ReadCase{"IntegerTooLarge", "[s]\nk=99999999999\n", "s", "k", "99999999999", -7, true},
        ReadCase{"EmptyValue", "[s]\nk=\n", "s", "k", "", -7, true},
        ReadCase{"BlanksAroundNamesAndValue", "  [ s ]  \n  k  =  4 2  \n", "s", "k", "4 2", -7,
                 true},
        ReadCase{"QuotesAreDropped", "[s]\nk=\"7\"\n", "s", "k", "7", 7, true},
        ReadCase{"SingleQuotesToo", "[s]\nk='a,b'\n", "s", "k", "a,b", -7, true},
        ReadCase{"UnmatchedQuoteStays", "[s]\nk=\"7\n", "s", "k", "\"7", -7, true},
        ReadCase{"FirstSectionAndKeyWin", "[s]\nk=1\nk=2\n[S]\nk=3\n", "s", "k", "1", 1, true},
        ReadCase{"ValueKeepsLaterEquals", "[s]\nk=a=b\n", "s", "k", "a=b", -7, true},
        ReadCase{"KeyBeforeAnySectionIsNotFound", "k=1\n[s]\n", "s", "k", "dflt", -7, true},
        ReadCase{"CommentIsNoKey", "[s]\n;k=1\n", "s", ";k", "dflt", -7, true},
        ReadCase{"CrLfAndBom", "\xEF\xBB\xBF[s]\r\nk=5\r\n", "s", "k", "5", 5, true},
        ReadCase{"Utf8Value", "[s]\nname=Vidéo ✓\n", "s", "name", "Vidéo ✓", -7, true},
        ReadCase{"NoFinalLineBreak", "[s]\nk=9", "s", "k", "9", 9, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IniWrite, CreatesFileSectionAndKeyAndReadsBackIgnoringCase) {
  const std::string dir = FreshDir("create");
  IniFile ini(dir + "/new.ini");
  ASSERT_TRUE(ini.WriteString("settings", "snapOutPutDir", "/media/shots")) << ini.LastErrMsg();
  ASSERT_TRUE(ini.WriteInteger("Settings", "volume", 64));
  ASSERT_TRUE(ini.WriteBool("lstformat", "8", false));
  ASSERT_TRUE(ini.WriteString("SETTINGS", "SnapOutPutDir", "/media/snaps"));
  EXPECT_EQ(ReadText(dir + "/new.ini"),
            "[settings]\nsnapOutPutDir=/media/snaps\nvolume=64\n\n[lstformat]\n8=0\n");
  EXPECT_EQ(ini.ReadString("settings", "SnapOutPutDir", ""), "/media/snaps");
  EXPECT_FALSE(ini.ReadBool("LSTFORMAT", "8", true));
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"settings", "lstformat"}));
  EXPECT_EQ(ini.ReadSection("settings"), (std::vector<std::string>{"snapOutPutDir", "volume"}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1) << "temporary left";
}

TEST(IniWrite, ChangesOnlyItsLineAndKeepsEverythingElse) {
  const std::string path = FreshDir("keep") + "/k.ini";
  const std::string before =
      "; written by hand\r\nstray text\r\n[settings]\r\n  volume = 10\r\n# other\r\n"
      "\r\n[formatInfo100]\r\nparaVideoSize=320x240\r\n";
  WriteText(path, before);
  IniFile ini(path);
  ASSERT_TRUE(ini.WriteInteger("settings", "VOLUME", 20));
  ASSERT_TRUE(ini.WriteString("settings", "mute", "1"));
  ASSERT_TRUE(ini.WriteString("formatInfo100", "paraZoom", "lbox"));
  EXPECT_EQ(ReadText(path),
            "; written by hand\r\nstray text\r\n[settings]\r\nvolume=20\r\n# other\r\nmute=1\r\n"
            "\r\n[formatInfo100]\r\nparaVideoSize=320x240\r\nparaZoom=lbox\r\n");
  ASSERT_TRUE(ini.DeleteKey("settings", "Mute"));
  ASSERT_TRUE(ini.EraseSection("FORMATINFO100"));
  EXPECT_EQ(ReadText(path),
            "; written by hand\r\nstray text\r\n[settings]\r\nvolume=20\r\n# other\r\n\r\n");
}

TEST(IniWrite, SeveralEntriesGoInOneReplacement) {
  const std::string path = FreshDir("batch") + "/b.ini";
  IniFile ini(path);
  ASSERT_TRUE(ini.WriteEntries({{"formatInfo403", "iVideoSize", "2"},
                                {"formatInfo403", "paraVideoSize", "480x272"},
                                {"settings", "FormatCode", "403"}}));
  EXPECT_EQ(ini.ReadString("formatinfo403", "paravideosize", ""), "480x272");
  // One bad entry refuses the whole batch.
  EXPECT_FALSE(ini.WriteEntries({{"settings", "FormatCode", "5"}, {"settings", "a=b", "1"}}));
  EXPECT_EQ(ini.ReadInteger("settings", "FormatCode", 0), 403);
}

TEST(IniWrite, RefusesEntriesThatWouldNotReadBack) {
  const std::string path = FreshDir("refuse") + "/r.ini";
  WriteText(path, "[s]\nk=1\n");
  IniFile ini(path);
  const struct {
    const char* section;
    const char* key;
    const char* value;
  } cases[] = {{"s", "k", "two\nlines"}, {"s", "k", "cr\r"}, {"s", "a=b", "1"}, {"s", "", "1"},
               {"s]", "k", "1"},         {"", "k", "1"},     {"s", "[x]", "1"}, {"s", ";c", "1"}};
  for (const auto& c : cases) {
    EXPECT_FALSE(ini.WriteString(c.section, c.key, c.value)) << c.section << " " << c.key;
    EXPECT_FALSE(ini.LastErrMsg().empty());
  }
  EXPECT_EQ(ReadText(path), "[s]\nk=1\n");
}

TEST(IniWrite, FailureIsReportedAndKeepsTheOldFile) {
  const struct {
    const char* name;
    mode_t folder_mode, file_mode;
  } cases[] = {{"UnwritableFolder", 0555, 0666}, {"ReadOnlyFile", 0777, 0444}};
  for (const auto& c : cases) {
    const std::string dir = FreshDir(c.name);
    const std::string path = dir + "/settings.ini";
    WriteText(path, "[settings]\nOutPutDir=/old\n");
    ::chmod(path.c_str(), c.file_mode);
    ::chmod(dir.c_str(), c.folder_mode);
    const int result = test::RunUnprivileged([&] {
      IniFile ini(path);
      if (ini.WriteString("settings", "OutPutDir", "/new")) return 1;
      if (ini.LastErrMsg().find(path) == std::string::npos) return 2;
      if (ini.ReadString("settings", "OutPutDir", "") != "/old") return 3;
      return 0;
    });
    ::chmod(dir.c_str(), 0755);
    EXPECT_EQ(result, 0) << c.name;
    EXPECT_EQ(ReadText(path), "[settings]\nOutPutDir=/old\n") << c.name;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1) << c.name;
  }
}

TEST(IniWrite, AnUnreadableFileReadsAsEmptyAndIsNotOverwritten) {
  const std::string path = FreshDir("unreadable") + "/u.ini";
  WriteText(path, "[settings]\nskinIndex=3\n");
  ::chmod(path.c_str(), 0200);
  const int result = test::RunUnprivileged([&] {
    IniFile ini(path);
    if (ini.ReadInteger("settings", "skinIndex", 0) != 0) return 1;
    if (ini.WriteString("settings", "mute", "1")) return 2;  // would lose skinIndex
    return ini.LastErrMsg().empty() ? 3 : 0;
  });
  ::chmod(path.c_str(), 0644);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ReadText(path), "[settings]\nskinIndex=3\n");
}

TEST(IniWrite, MissingFolderIsReported) {
  IniFile ini(FreshDir("nofolder") + "/absent/x.ini");
  EXPECT_FALSE(ini.WriteString("s", "k", "v"));
  EXPECT_NE(ini.LastErrMsg().find("absent/x.ini"), std::string::npos);
}

TEST(IniWrite, ReplacementKeepsPermissionsAndFollowsALink) {
  const std::string dir = FreshDir("link");
  WriteText(dir + "/real.ini", "[s]\nk=1\n");
  ::chmod((dir + "/real.ini").c_str(), 0600);
  std::filesystem::create_symlink("real.ini", dir + "/link.ini");
  IniFile ini(dir + "/link.ini");
  ASSERT_TRUE(ini.WriteString("s", "k", "2")) << ini.LastErrMsg();
  EXPECT_TRUE(std::filesystem::is_symlink(dir + "/link.ini"));
  EXPECT_EQ(ReadText(dir + "/real.ini"), "[s]\nk=2\n");
  struct stat st {};
  ASSERT_EQ(::stat((dir + "/real.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// Random texts made of the characters that matter to the format: any text survives a
// parse unchanged, the direct lookup agrees with the parsed one, and a write changes
// exactly the entry written.
TEST(IniDocumentFuzz, AnyTextRoundTripsAndReadsAlikeAndAWriteChangesOnlyItsEntry) {
  std::mt19937 rng(20261211);
  const std::string alphabet = "[]=;ab AB\t\r\n\"'\xC3\xA9";
  const std::vector<std::string> names = {"a", "B", "ab", "A b", "b"};
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const int length = static_cast<int>(rng() % 60);
    for (int i = 0; i < length; ++i) text += alphabet[rng() % alphabet.size()];
    IniDocument doc = IniDocument::Parse(text);
    ASSERT_EQ(doc.Serialize(), text);

    const std::string section = names[rng() % names.size()];
    const std::string key = names[rng() % names.size()];
    const std::string value = "v" + std::to_string(round) + "=x";
    std::vector<std::optional<std::string>> before;
    for (const auto& s : names) {
      for (const auto& k : names) {
        before.push_back(doc.Find(s, k));
        ASSERT_EQ(FindInText(text, s, k), before.back()) << testing::PrintToString(text);
      }
    }
    doc.Set(section, key, value);
    const IniDocument reread = IniDocument::Parse(doc.Serialize());
    size_t i = 0;
    for (const auto& s : names) {
      for (const auto& k : names) {
        const bool written = SameName(s, section) && SameName(k, key);
        EXPECT_EQ(reread.Find(s, k), written ? std::optional<std::string>(value) : before[i])
            << "text: " << testing::PrintToString(text) << " [" << s << "] " << k;
        ++i;
      }
    }
  }
}

}  // namespace
}  // namespace kestrel::settings
