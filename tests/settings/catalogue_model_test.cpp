#include <gtest/gtest.h>

#include "settings/catalogue_keys.h"
#include "settings/choice_list.h"
#include "settings/list_items.h"
#include "settings/profile_picker.h"
#include "settings/profile_table.h"
#include "settings/settings_keys.h"
#include "tests/settings/temp_files.h"

namespace kestrel::settings {
namespace {

using test::FreshDir;
using test::WriteText;
using Items = std::vector<std::string>;

TEST(ChoiceList, SplitsAtEveryCommaWithoutTrimming) {
  const struct {
    const char* text;
    Items items;
  } cases[] = {{"320x240,640x480,", {"320x240", "640x480", ""}},
               {"a,,b", {"a", "", "b"}},
               {" mono 1 channel , x", {" mono 1 channel ", " x"}},
               {"", {""}},
               {",", {"", ""}},
               {"as source", {"as source"}}};
  for (const auto& c : cases) EXPECT_EQ(SplitChoiceList(c.text), c.items) << c.text;
}

TEST(ChoiceList, NullAndEmptyDisableAsEachListSays) {
  using S = ProfileSetting;
  const struct {
    S setting;
    const char* text;
    bool applies;
    size_t items;
  } cases[] = {{S::kVideoSize, "null", false, 0},
               {S::kVideoSize, "", true, 1},
               {S::kVideoBitRate, "", true, 1},
               {S::kFrameRate, "", true, 1},
               {S::kVideoEncoder, "", false, 0},
               {S::kAudioBitRate, "", false, 0},
               {S::kSampleRate, "", false, 0},
               {S::kAudioEncoder, "", false, 0},
               {S::kChannel, "", false, 0},
               {S::kVolume, "", false, 0},
               {S::kVolume, "null", false, 0},
               {S::kVideoEncoder, "NULL", true, 1},
               {S::kVideoSize, "320x240,640x480,", true, 3}};
  for (const auto& c : cases) {
    const ChoiceList list = ParseChoiceList(c.setting, c.text);
    EXPECT_EQ(list.applies, c.applies) << KeysOf(c.setting).list_key << " '" << c.text << "'";
    EXPECT_EQ(list.items.size(), c.items) << KeysOf(c.setting).list_key << " '" << c.text << "'";
  }
}

TEST(ProfileTable, CodesOfProfiles) {
  const struct {
    int row;  // picker row, 1-based
    const char* name;
    int code;
  } cases[] = {{5, "PSP H.264/AVC Video (*.mp4)", 403},
               {23, "DVD - PAL MPEG-2 Moive (*.mpg)", 2201},
               {13, "Microsoft Xbox MPEG-4 Video (*.mp4)", 1202},
               {29, "Microsoft Xbox MPEG-4 Video (*.mp4)", 1202},
               {29, "Microsoft Xbox WMV Video (*.wmv)", 1200},
               {30, "DV - PAL -Digital Video Format (*.dv)", 2609},
               {31, "WAV - Waveform Audio (*.wav)", 2704},
               {28, "WAV - Waveform Audio (*.wav)", 2704},
               {1, "iPod Video MPEG-4 (*.mp4)", 0}};
  const auto profiles = ListedProfiles();
  for (const auto& c : cases) {
    bool found = false;
    for (const ListedProfile& p : profiles) {
      if (p.table_row + 1 != c.row || p.name != c.name) continue;
      found = true;
      EXPECT_EQ(p.code, c.code) << c.name << " in row " << c.row;
    }
    EXPECT_TRUE(found) << c.name << " in row " << c.row;
  }
  // Every name names one profile: equal names have equal codes, and 121 codes in all.
  for (const ListedProfile& a : profiles) {
    for (const ListedProfile& b : profiles) {
      if (a.name == b.name) {
        EXPECT_EQ(a.code, b.code) << a.name;
      }
      if (a.code == b.code) {
        EXPECT_EQ(a.name, b.name) << a.code;
      }
    }
  }
  EXPECT_EQ(ListedCodes().size(), 121u);
  EXPECT_EQ(PickerTable().size(), 31u);
}

class Picker : public testing::Test {
 protected:
  Picker() : settings_(FreshDir("picker") + "/settings.ini") {
    picker_.SetEvents(
        {[this] { events_.push_back("reset"); },
         [this](int first, int count) {
           events_.push_back("insert " + std::to_string(first) + "+" + std::to_string(count));
         },
         [this](int first, int count) {
           events_.push_back("remove " + std::to_string(first) + "+" + std::to_string(count));
         }});
  }
  int RowOfCategory(int table_row) const {
    for (int i = 0; i < picker_.RowCount(); ++i) {
      if (picker_.Rows()[i].info.IsCategory && picker_.Rows()[i].info.NameRow == table_row) {
        return i;
      }
    }
    return -1;
  }
  std::vector<int> Codes(int first, int count) const {
    std::vector<int> codes;
    for (int i = first; i < first + count; ++i) codes.push_back(picker_.Rows()[i].info.Code);
    return codes;
  }

  IniFile settings_;
  ProfilePicker picker_;
  std::vector<std::string> events_;
};

TEST_F(Picker, WithoutStoredStatesEveryCategoryIsCollapsed) {
  picker_.Build(settings_);
  ASSERT_EQ(picker_.RowCount(), 31);
  for (int i = 0; i < 31; ++i) {
    const PickerRow& row = picker_.Rows()[i];
    EXPECT_TRUE(row.info.IsCategory && !row.info.IsProfile && row.info.Collapsed) << i;
    EXPECT_EQ(row.text, PickerTable()[i].label);
    EXPECT_EQ(row.info.CategoryName, row.text);
    EXPECT_EQ(row.icons, i < 28 ? IconList::kGeneral : IconList::kConsole) << i;
  }
  EXPECT_EQ(Codes(26, 5), (std::vector<int>{26, 27, 0, 1, 2}));
  EXPECT_EQ(picker_.NameAt(8, 6), "Archos AV500/700 Video (*.avi)");
  EXPECT_EQ(picker_.NameAt(8, 7), "");
  EXPECT_EQ(picker_.SelectStored(settings_), -1) << "the default name is no row's text";
  EXPECT_EQ(events_, std::vector<std::string>{"reset"});
}

TEST_F(Picker, ExpandAndCollapseInsertAndRemoveExactlyTheProfileRows) {
  picker_.Build(settings_);
  const int archos = RowOfCategory(8);
  ASSERT_EQ(archos, 8);
  ASSERT_TRUE(picker_.Expand(archos));
  ASSERT_EQ(picker_.RowCount(), 38);
  EXPECT_EQ(Codes(archos + 1, 7), (std::vector<int>{800, 801, 802, 803, 804, 805, 806}));
  EXPECT_EQ(picker_.Rows()[archos + 1].text, "Archos H.264 Video (*.mp4)");
  EXPECT_TRUE(picker_.Rows()[archos + 7].info.IsProfile);
  EXPECT_FALSE(picker_.Rows()[archos].info.Collapsed);
  EXPECT_EQ(picker_.Rows()[archos + 8].text, "Creative Zen");
  EXPECT_FALSE(picker_.Expand(archos)) << "already expanded";
  EXPECT_FALSE(picker_.Expand(archos + 1)) << "a profile row";

  // The row after the removed ones moves up; a selection in them is lost.
  EXPECT_EQ(picker_.SelectByName("  creative zen "), archos + 8);
  ASSERT_TRUE(picker_.Collapse(archos));
  EXPECT_EQ(picker_.RowCount(), 31);
  EXPECT_TRUE(picker_.Rows()[archos].info.Collapsed);
  EXPECT_EQ(picker_.Rows()[archos + 1].text, "Creative Zen");
  EXPECT_EQ(picker_.Selected(), archos + 1);
  EXPECT_EQ(events_, (std::vector<std::string>{"reset", "insert 9+7", "remove 9+7"}));
}

TEST_F(Picker, RepeatedCategoriesListTheirProfilesUnderTheSameCodes) {
  picker_.Build(settings_);
  const int xbox_console = RowOfCategory(28);
  ASSERT_TRUE(picker_.Toggle(xbox_console));
  EXPECT_EQ(picker_.Rows()[xbox_console].info.Code, 0);
  EXPECT_EQ(Codes(xbox_console + 1, 3), (std::vector<int>{1200, 1201, 1202}));
  const int audio_console = RowOfCategory(30);
  ASSERT_TRUE(picker_.Toggle(audio_console));
  EXPECT_EQ(Codes(audio_console + 1, 7),
            (std::vector<int>{2700, 2701, 2702, 2703, 2704, 2705, 2706}));

  // Choosing the console row's WAV profile stores the WAV profile's code.
  const int wav = picker_.SelectByName("WAV - Waveform Audio (*.wav)");
  ASSERT_EQ(wav, audio_console + 5);
  ASSERT_TRUE(picker_.ChooseProfile(wav, settings_));
  EXPECT_EQ(ReadFormatCode(settings_), 2704);
  EXPECT_EQ(ReadFormatName(settings_, FormatNameReader::kPicker), "WAV - Waveform Audio (*.wav)");
  EXPECT_FALSE(picker_.ChooseProfile(audio_console, settings_)) << "a category row";
}

TEST_F(Picker, CategoryStatesAreSavedAndBuiltBack) {
  ASSERT_TRUE(settings_.WriteString("LstFormat", "22", "0"));
  ASSERT_TRUE(settings_.WriteString("lstformat", "4", "junk"));  // not a number: collapsed
  picker_.Build(settings_);
  ASSERT_EQ(picker_.RowCount(), 33);
  const int dvd = RowOfCategory(22);
  EXPECT_EQ(Codes(dvd + 1, 2), (std::vector<int>{2200, 2201}));
  EXPECT_TRUE(picker_.Rows()[RowOfCategory(4)].info.Collapsed);

  ASSERT_TRUE(picker_.Toggle(dvd));
  ASSERT_TRUE(picker_.Toggle(RowOfCategory(8)));
  ASSERT_TRUE(picker_.SaveCategoryState(settings_));
  EXPECT_EQ(settings_.ReadSection("lstformat").size(), 28u) << "one key per number";
  EXPECT_TRUE(settings_.ReadBool("lstformat", "22", false));
  EXPECT_FALSE(settings_.ReadBool("lstformat", "8", true));

  // Rows 1 and 29 share the key "0": a stored expanded state opens both.
  ASSERT_TRUE(settings_.WriteString("lstformat", "0", "0"));
  ProfilePicker rebuilt;
  rebuilt.Build(settings_);
  EXPECT_EQ(rebuilt.RowCount(), 31 + 7 + 9 + 3);
  ASSERT_TRUE(settings_.WriteString("settings", "FormatName", " archos 105 video (*.WMV) "));
  EXPECT_EQ(rebuilt.SelectStored(settings_), 8 + 9 + 3);
}

TEST(PickerGeometry, ListHeights) {
  const struct {
    int rows, built, drop_down;
  } cases[] = {{3, 80, 80},    {17, 360, 360}, {18, 380, 380},
               {19, 362, 400}, {20, 362, 386}, {31, 362, 386}};
  for (const auto& c : cases) {
    EXPECT_EQ(BuiltListHeight(c.rows, 20), c.built) << c.rows;
    EXPECT_EQ(DropDownListHeight(c.rows), c.drop_down) << c.rows;
  }
}

TEST(ListItems, DisplayTextsMapToWhatTheBoxesStore) {
  const struct {
    const char* item;
    std::optional<std::string> video, audio, channel;
  } cases[] = {
      {"mpeg-4", "mpeg4", {}, {}},
      {"XviD", "libxvid", {}, {}},
      {"h264", "libx264", {}, {}},
      {"mpeg2video", "mpeg2video", {}, {}},
      {"WMV2", "wmv2", {}, {}},
      {"mp3", {}, "libmp3lame", {}},
      {"AAC", {}, "libfaac", {}},
      {"ac-3", {}, "ac3", {}},
      {"ogg", {}, "vorbis", {}},
      {"amr_nb", {}, "libopencore_amrnb", {}},
      {"pcm_s16", {}, "pcm_s16le", {}},
      {"wma2", {}, "wmav2", {}},
      {"flac", {}, "libflac", {}},
      {"pcm_mulaw", {}, {}, {}},
      {"pcm_mulaw ", {}, "pcm_mulaw", {}},
      {"as source", {}, {}, "as source"},
      {"mono 1 channel", {}, {}, "1"},
      {"stereo 2 channels", {}, {}, "2"},
      {"Stereo 2 channels", {}, {}, {}},
      {"mpeg4", {}, {}, {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(VideoEncoderForItem(c.item), c.video) << c.item;
    EXPECT_EQ(AudioEncoderForItem(c.item), c.audio) << c.item;
    EXPECT_EQ(ChannelForItem(c.item), c.channel) << c.item;
  }
}

TEST(ListItems, VolumeItemsDropTheirLastCharacter) {
  const struct {
    const char* item;
    std::optional<int> percent;
    std::optional<std::string> stored;
  } cases[] = {{"100%", 100, "256"}, {"150%", 150, "384"}, {"25%", 25, "64"}, {"400%", 400, "1024"},
               {"90%", 90, {}},      {"100", 10, {}},      {"%", {}, {}},     {"", {}, {}},
               {"loud%", {}, {}},    {"200％", 200, "512"}};
  for (const auto& c : cases) {
    EXPECT_EQ(VolumeItemPercent(c.item), c.percent) << c.item;
    if (c.percent) {
      EXPECT_EQ(VolumeForPercent(*c.percent), c.stored) << c.item;
    }
  }
}

TEST(CatalogueKeys, DefaultsAndH264Extras) {
  const std::string dir = FreshDir("catalogue-keys");
  WriteText(dir + "/c.ini",
            "[formatInfo403]\nFormat=psp\nFileExt=mp4\nVideoSize=320x240,480x272\n"
            "iVideoSize=1\nparaBitExact=TRUE\nparaMaxBitrate=768\nparaBufferSize=0\n"
            "paraLevel=30\nparaQscale=-1\nparaGop=abc\nparaCoder=0\n"
            "[formatInfo2704]\nparaBitExact=false\nparaCoder=\n");
  const IniFile catalogue(dir + "/c.ini");
  EXPECT_EQ(ReadFormat(catalogue, 403), "psp");
  EXPECT_EQ(ReadFormat(catalogue, 1), "null");
  EXPECT_EQ(ReadFileExt(catalogue, 1), "mp4");
  EXPECT_EQ(ReadChoiceText(catalogue, 1, ProfileSetting::kAudioEncoder), "null");
  EXPECT_FALSE(ReadChoiceList(catalogue, 403, ProfileSetting::kVideoEncoder).applies);
  EXPECT_EQ(ReadChoiceList(catalogue, 403, ProfileSetting::kVideoSize).items,
            (Items{"320x240", "480x272"}));
  EXPECT_EQ(ReadDefaultIndex(catalogue, 403, ProfileSetting::kVideoSize), 1);
  EXPECT_EQ(ReadDefaultIndex(catalogue, 403, ProfileSetting::kVolume), 0);

  using Extras = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(H264ExtrasToCopy(catalogue, 403), (Extras{{"paraBitExact", "TRUE"},
                                                      {"paraMaxBitrate", "768"},
                                                      {"paraLevel", "30"},
                                                      {"paraCoder", "0"}}));
  EXPECT_EQ(H264ExtrasToCopy(catalogue, 2704), Extras{});
  IniFile settings(dir + "/s.ini");
  ASSERT_TRUE(CopyH264Extras(catalogue, settings, 403));
  EXPECT_EQ(settings.ReadSection("formatInfo403").size(), 4u);
  EXPECT_EQ(settings.ReadInteger("formatinfo403", "paraLevel", 0), 30);
}

}  // namespace
}  // namespace kestrel::settings
