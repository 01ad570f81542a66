#include "settings/settings_keys.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "settings/locations.h"
#include "settings/profile_keys.h"
#include "tests/settings/temp_files.h"

namespace kestrel::settings {
namespace {

using test::FreshDir;
using test::WriteText;

TEST(SettingsKeys, AbsentFileGivesEveryReadersDefault) {
  const IniFile none(FreshDir("keys-none") + "/absent.ini");
  EXPECT_EQ(ReadOutputDir(none), DefaultOutputFolder());
  EXPECT_EQ(ReadFormatCodeText(none), "1");
  EXPECT_EQ(ReadFormatCode(none), 1);
  EXPECT_EQ(ReadFormatName(none, FormatNameReader::kStartup), "iPod Video MPEG-4");
  EXPECT_EQ(ReadFormatName(none, FormatNameReader::kPicker),
            "Apple iPod Video MPEG-4 Movie (*.mp4)");
  EXPECT_EQ(ReadSkinIndex(none), 0);
  EXPECT_EQ(ReadPreviewVolume(none), 0);
  EXPECT_EQ(ReadMute(none), false);
  EXPECT_EQ(ReadPriority(none), 1);
  EXPECT_TRUE(ReadCategoryCollapsed(none, 8));
  const SnapshotSettings snap = ReadSnapshotSettings(none);
  EXPECT_EQ(snap.folder, DefaultOutputFolder());
  EXPECT_TRUE(snap.full_size && snap.small_size && snap.bmp && snap.jpg);
  EXPECT_EQ(snap.jpeg_quality, 30);
}

TEST(SettingsKeys, ProfileValuesHaveTheirReadersDefaults) {
  const IniFile none(FreshDir("para-none") + "/absent.ini");
  using S = ProfileSetting;
  using R = ParaReader;
  const struct {
    S setting;
    R reader;
    const char* expected;
  } cases[] = {
      {S::kVideoSize, R::kFormatPanel, "320x240"},    {S::kVideoSize, R::kOptionBuilder, "null"},
      {S::kVideoSize, R::kSettingsDialog, "320x240"}, {S::kVideoBitRate, R::kFormatPanel, "768"},
      {S::kVideoBitRate, R::kOptionBuilder, "512"},   {S::kVideoBitRate, R::kSettingsDialog, "800"},
      {S::kFrameRate, R::kOptionBuilder, "29.97"},    {S::kFrameRate, R::kSettingsDialog, "25"},
      {S::kVideoEncoder, R::kOptionBuilder, ""},      {S::kZoom, R::kFormatPanel, "full"},
      {S::kZoom, R::kSettingsDialog, "full"},         {S::kZoom, R::kJobList, "lbox"},
      {S::kSampleRate, R::kOptionBuilder, "44100"},   {S::kAudioBitRate, R::kFormatPanel, "96"},
      {S::kAudioBitRate, R::kOptionBuilder, "128"},   {S::kAudioEncoder, R::kOptionBuilder, ""},
      {S::kChannel, R::kOptionBuilder, "2"},          {S::kVolume, R::kOptionBuilder, "3"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadPara(none, 403, c.setting, c.reader), c.expected)
        << KeysOf(c.setting).para_key << " reader " << static_cast<int>(c.reader);
  }
  EXPECT_EQ(ReadIndex(none, 403, S::kVolume), 0);
}

TEST(SettingsKeys, StoredValuesAreReadAsTheProgramAppliesThem) {
  const std::string path = FreshDir("keys-stored") + "/s.ini";
  IniFile settings(path);
  const struct {
    const char* volume;
    int slider;
    const char* mute;
    std::optional<bool> muted;
  } cases[] = {{"500", 64, "1", true},
               {"128", 128, "0", false},
               {"-1", 64, "2", std::nullopt},
               {"0", 0, "x", false},
               {"loud", 0, "-1", std::nullopt}};
  for (const auto& c : cases) {
    ASSERT_TRUE(settings.WriteString("settings", "volume", c.volume));
    ASSERT_TRUE(settings.WriteString("settings", "mute", c.mute));
    EXPECT_EQ(ReadPreviewVolume(settings), c.slider) << c.volume;
    EXPECT_EQ(ReadMute(settings), c.muted) << c.mute;
  }
  // The parts of the program spell some keys differently; all reach the same entry.
  ASSERT_TRUE(settings.WriteString("settings", "snapOutPutDir", "/shots"));
  ASSERT_TRUE(settings.WriteString("settings", "Priority", "3"));
  ASSERT_TRUE(settings.WriteString("formatInfo403", "parazoom", "pan"));
  ASSERT_TRUE(settings.WriteString("settings", "snapJpg", "0"));
  ASSERT_TRUE(settings.WriteString("settings", "jpgCmp", "85"));
  EXPECT_EQ(ReadSnapshotSettings(settings).folder, "/shots");
  EXPECT_FALSE(ReadSnapshotSettings(settings).jpg);
  EXPECT_EQ(ReadSnapshotSettings(settings).jpeg_quality, 85);
  EXPECT_EQ(ReadPriority(settings), 3);
  EXPECT_EQ(ReadPara(settings, 403, ProfileSetting::kZoom, ParaReader::kFormatPanel), "pan");

  ASSERT_TRUE(WriteChosenProfile(settings, 2201, "DVD - PAL MPEG-2 Moive (*.mpg)"));
  EXPECT_EQ(ReadFormatCode(settings), 2201);
  EXPECT_EQ(ReadFormatCodeText(settings), "2201");
  EXPECT_EQ(ReadFormatName(settings, FormatNameReader::kStartup), "DVD - PAL MPEG-2 Moive (*.mpg)");
}

}  // namespace
}  // namespace kestrel::settings
