// Checks the profile catalogue shipped in resources/ against the picker table and against
// what the setting boxes accept.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "settings/catalogue_keys.h"
#include "settings/ini_document.h"
#include "settings/list_items.h"
#include "settings/profile_table.h"

namespace kestrel::settings {
namespace {

const std::string kCatalogue = std::string(KESTREL_SOURCE_DIR) + "/resources/kestrelxboxformat.ini";

// The "ext" of a name ending in "(*.ext)".
std::string ExtensionInName(std::string_view name) {
  const size_t open = name.rfind("(*.");
  if (open == std::string_view::npos || !name.ends_with(")")) return {};
  return std::string(name.substr(open + 3, name.size() - open - 4));
}

bool IsNumber(const std::string& text) {
  if (text.empty()) return false;
  char* end = nullptr;
  std::strtod(text.c_str(), &end);
  return *end == '\0' && text.find_first_of(" \t") == std::string::npos;
}

bool IsEvenSize(const std::string& text) {
  const size_t x = text.find('x');
  if (x == std::string::npos) return false;
  const auto w = ParseInteger(std::string_view(text).substr(0, x));
  const auto h = ParseInteger(std::string_view(text).substr(x + 1));
  return w && h && *w > 0 && *h > 0 && *w % 2 == 0 && *h % 2 == 0;
}

// Whether the box of `setting` takes `item` as a valid value.
bool ItemAccepted(ProfileSetting setting, const std::string& item) {
  const bool as_source = item == "as source";
  switch (setting) {
    case ProfileSetting::kVideoSize:
      return as_source || IsEvenSize(item);
    case ProfileSetting::kVideoBitRate:
    case ProfileSetting::kSampleRate:
      return as_source || ParseInteger(item).value_or(0) > 0;
    case ProfileSetting::kFrameRate:
    case ProfileSetting::kAudioBitRate:
      return as_source || (IsNumber(item) && std::strtod(item.c_str(), nullptr) > 0);
    case ProfileSetting::kVideoEncoder:
      return VideoEncoderForItem(item).has_value();
    case ProfileSetting::kAudioEncoder:
      return AudioEncoderForItem(item).has_value();
    case ProfileSetting::kChannel:
      return ChannelForItem(item).has_value();
    case ProfileSetting::kVolume: {
      const auto percent = VolumeItemPercent(item);
      return percent && VolumeForPercent(*percent).has_value();
    }
    case ProfileSetting::kZoom:
      break;
  }
  return false;
}

class ShippedCatalogue : public testing::Test {
 protected:
  void SetUp() override {
    const auto sections = catalogue_.ReadSections();
    const bool has_profiles = std::any_of(sections.begin(), sections.end(), [](auto& name) {
      return SameName(std::string_view(name).substr(0, 10), "formatInfo");
    });
    if (!has_profiles) GTEST_SKIP() << kCatalogue << " holds no profile sections yet";
  }
  const IniFile catalogue_{kCatalogue};
};

TEST_F(ShippedCatalogue, HasASectionForEveryListedProfileAndNoOther) {
  const std::vector<int> codes = ListedCodes();
  for (int code : codes) {
    EXPECT_TRUE(catalogue_.SectionExists(ProfileSection(code))) << ProfileSection(code);
  }
  for (const std::string& section : catalogue_.ReadSections()) {
    const auto code = ParseInteger(std::string_view(section).substr(10));
    EXPECT_TRUE(code && std::binary_search(codes.begin(), codes.end(), *code))
        << "section of no listed profile: " << section;
  }
}

TEST_F(ShippedCatalogue, ExtensionAndKindMatchTheName) {
  for (const ListedProfile& p : ListedProfiles()) {
    const std::string section = ProfileSection(p.code);
    EXPECT_TRUE(catalogue_.ValueExists(section, "Format")) << section;
    EXPECT_EQ(catalogue_.ReadString(section, "FileExt", ""), ExtensionInName(p.name))
        << section << " " << p.name;
  }
}

TEST_F(ShippedCatalogue, EveryListParsesIntoItemsTheBoxesAccept) {
  for (int code : ListedCodes()) {
    const std::string section = ProfileSection(code);
    for (ProfileSetting setting : kChoiceSettings) {
      const ChoiceList list = ReadChoiceList(catalogue_, code, setting);
      const char* key = KeysOf(setting).list_key.data();
      if (!list.applies) continue;
      for (const std::string& item : list.items) {
        EXPECT_TRUE(ItemAccepted(setting, item)) << section << " " << key << " '" << item << "'";
      }
      const int index = ReadDefaultIndex(catalogue_, code, setting);
      EXPECT_TRUE(list.HasIndex(index)) << section << " " << KeysOf(setting).index_key << "="
                                        << index << " for " << list.items.size() << " items";
    }
  }
}

TEST_F(ShippedCatalogue, EveryProfileHasVideoOrAudio) {
  for (const ListedProfile& p : ListedProfiles()) {
    const bool video = ReadChoiceList(catalogue_, p.code, ProfileSetting::kVideoEncoder).applies;
    const bool audio = ReadChoiceList(catalogue_, p.code, ProfileSetting::kAudioEncoder).applies;
    EXPECT_TRUE(video || audio) << p.name;
  }
}

}  // namespace
}  // namespace kestrel::settings
