#include "jobs/profile_defaults.h"

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "jobs/option_text.h"
#include "settings/catalogue_keys.h"
#include "settings/list_items.h"
#include "settings/profile_keys.h"

namespace kestrel::jobs {
namespace {

using settings::ProfileSetting;
using Entries = std::vector<settings::IniFile::Entry>;

bool IsInteger(const std::string& text) {
  return ParseInteger(text).has_value();
}
bool IsNumber(const std::string& text) {
  return ParseNumber(text).has_value();
}

// A size item as the frame size validation writes it: even, non-zero sides.
std::optional<std::string> ValidFrameSize(const std::string& text) {
  if (Lower(text).find("as source") != std::string::npos) return std::nullopt;
  const size_t x = text.rfind('x');
  if (x == std::string::npos) return std::nullopt;
  const std::string a = text.substr(0, x), b = text.substr(x + 1);
  if (!IsInteger(a) || !IsInteger(b)) return std::nullopt;
  auto even = [](long side) { return side / 2 * 2 == 0 ? 2L : side / 2 * 2; };
  return std::to_string(even(std::atol(a.c_str()))) + "x" +
         std::to_string(even(std::atol(b.c_str())));
}

class DefaultsWriter {
 public:
  DefaultsWriter(const settings::IniFile& catalogue, int code)
      : catalogue_(catalogue), code_(code), section_(settings::ProfileSection(code)) {}

  Entries Build() {
    WriteVideoEncoder();
    if (auto item = Item(ProfileSetting::kVideoSize))
      if (auto size = ValidFrameSize(item->second))
        Put(ProfileSetting::kVideoSize, item->first, *size);
    if (auto item = Item(ProfileSetting::kFrameRate))
      Put(ProfileSetting::kFrameRate, item->first, item->second);
    WriteChecked(ProfileSetting::kVideoBitRate, IsInteger);
    if (Item(ProfileSetting::kVideoEncoder)) PutPara(ProfileSetting::kZoom, "full");
    if (auto item = Item(ProfileSetting::kAudioEncoder))
      if (auto name = settings::AudioEncoderForItem(item->second))
        Put(ProfileSetting::kAudioEncoder, item->first, *name);
    WriteChecked(ProfileSetting::kAudioBitRate, IsNumber);
    WriteChecked(ProfileSetting::kSampleRate, IsInteger);
    WriteChannel();
    WriteVolume();
    return entries_;
  }

 private:
  // The default item of a setting whose list applies: its index and text.
  std::optional<std::pair<int, std::string>> Item(ProfileSetting setting) const {
    const settings::ChoiceList list = settings::ReadChoiceList(catalogue_, code_, setting);
    const int index = settings::ReadDefaultIndex(catalogue_, code_, setting);
    if (!list.applies || !list.HasIndex(index)) return std::nullopt;
    return std::pair{index, list.items[static_cast<size_t>(index)]};
  }

  void PutPara(ProfileSetting setting, const std::string& value) {
    entries_.push_back({section_, std::string(settings::KeysOf(setting).para_key), value});
  }
  void PutIndex(ProfileSetting setting, int index) {
    entries_.push_back(
        {section_, std::string(settings::KeysOf(setting).index_key), std::to_string(index)});
  }
  void Put(ProfileSetting setting, int index, const std::string& value) {
    PutIndex(setting, index);
    PutPara(setting, value);
  }

  void WriteVideoEncoder() {
    const auto item = Item(ProfileSetting::kVideoEncoder);
    if (!item) return;
    const auto name = settings::VideoEncoderForItem(item->second);
    if (!name) return;
    Put(ProfileSetting::kVideoEncoder, item->first, *name);
    if (Lower(item->second) == "h264")
      for (const auto& [key, value] : settings::H264ExtrasToCopy(catalogue_, code_))
        entries_.push_back({section_, key, value});
  }

  // A typed-in box: the default item when it is valid ("as source" always is), else
  // item 1 as the box's check selects it.
  void WriteChecked(ProfileSetting setting, bool (*valid)(const std::string&)) {
    auto item = Item(setting);
    if (!item) return;
    if (item->second != "as source" && !valid(item->second)) {
      const settings::ChoiceList list = settings::ReadChoiceList(catalogue_, code_, setting);
      if (list.items.size() < 2) return;
      item = std::pair{1, list.items[1]};
    }
    Put(setting, item->first, item->second);
  }

  void WriteChannel() {
    const auto item = Item(ProfileSetting::kChannel);
    if (!item) return;
    if (const auto value = settings::ChannelForItem(item->second)) {
      Put(ProfileSetting::kChannel, item->first, *value);
    } else {
      PutIndex(ProfileSetting::kChannel, item->first);
    }
  }

  void WriteVolume() {
    const auto item = Item(ProfileSetting::kVolume);
    if (!item) return;
    const auto percent = settings::VolumeItemPercent(item->second);
    if (const auto value = percent ? settings::VolumeForPercent(*percent) : std::nullopt) {
      Put(ProfileSetting::kVolume, item->first, *value);
    } else {
      PutIndex(ProfileSetting::kVolume, item->first);
    }
  }

  const settings::IniFile& catalogue_;
  int code_;
  std::string section_;
  Entries entries_;
};

}  // namespace

bool ProfileIsTuned(const settings::IniFile& settings, int code) {
  const std::string section = settings::ProfileSection(code);
  for (ProfileSetting setting : settings::kChoiceSettings)
    if (settings.ValueExists(section, settings::KeysOf(setting).para_key)) return true;
  return false;
}

bool WriteProfileDefaults(const settings::IniFile& catalogue, settings::IniFile& settings,
                          int code) {
  const Entries entries = DefaultsWriter(catalogue, code).Build();
  return entries.empty() || settings.WriteEntries(entries);
}

}  // namespace kestrel::jobs
