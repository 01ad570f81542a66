#include "jobs/profile_defaults.h"

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "settings/catalogue_keys.h"
#include "settings/profile_keys.h"

namespace kestrel::jobs {
namespace {

using settings::ProfileSetting;
using Entries = std::vector<settings::IniFile::Entry>;

struct NameMapping {
  const char* item;  // lower case
  const char* name;
};

constexpr NameMapping kVideoEncoders[] = {{"mpeg-4", "mpeg4"},
                                          {"xvid", "libxvid"},
                                          {"h264", "libx264"},
                                          {"3gp", "3gp"},
                                          {"3g2", "3g2"},
                                          {"mov", "mov"},
                                          {"wmv1", "wmv1"},
                                          {"wmv2", "wmv2"},
                                          {"wmv3", "wmv3"},
                                          {"flv", "flv"},
                                          {"swf", "swf"},
                                          {"msmpeg4", "msmpeg4"},
                                          {"msmpeg4v1", "msmpeg4v1"},
                                          {"msmpeg4v2", "msmpeg4v2"},
                                          {"mpeg1video", "mpeg1video"},
                                          {"mpeg2video", "mpeg2video"},
                                          {"h263", "h263"},
                                          {"h263p", "h263p"},
                                          {"rawvideo", "rawvideo"},
                                          {"rv10", "rv10"},
                                          {"rv20", "rv20"},
                                          {"dvvideo", "dvvideo"},
                                          {"huffyuv", "huffyuv"},
                                          {"ljpeg", "ljpeg"},
                                          {"mjpeg", "mjpeg"},
                                          {"svq1", "svq1"},
                                          {"zlib", "zlib"}};

constexpr NameMapping kAudioEncoders[] = {{"mp3", "libmp3lame"},
                                          {"ogg", "vorbis"},
                                          {"mp2", "mp2"},
                                          {"aac", "libfaac"},
                                          {"ac-3", "ac3"},
                                          {"flac", "libflac"},
                                          {"amr_nb", "libopencore_amrnb"},
                                          {"pcm_s16", "pcm_s16le"},
                                          {"pcm_u16", "pcm_u16le"},
                                          {"pcm_alaw", "pcm_alaw"},
                                          {"pcm_mulaw ", "pcm_mulaw"},
                                          {"adpcm_ms", "adpcm_ms"},
                                          {"adpcm_ima_wav", "adpcm_ima_wav"},
                                          {"wma1", "wmav1"},
                                          {"wma2", "wmav2"}};

constexpr std::pair<int, const char*> kVolumes[] = {
    {25, "64"},   {50, "128"},  {75, "192"},  {100, "256"}, {125, "320"}, {150, "384"},
    {175, "448"}, {200, "512"}, {250, "640"}, {300, "768"}, {350, "896"}, {400, "1024"}};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return text;
}

bool IsInteger(const std::string& text) {
  if (text.empty()) return false;
  char* end = nullptr;
  std::strtol(text.c_str(), &end, 10);
  return *end == '\0';
}

bool IsNumber(const std::string& text) {
  if (text.empty()) return false;
  char* end = nullptr;
  std::strtod(text.c_str(), &end);
  return *end == '\0';
}

std::optional<std::string> Mapped(const std::string& item, const auto& table) {
  const std::string lower = Lower(item);
  for (const NameMapping& row : table)
    if (lower == row.item) return std::string(row.name);
  return std::nullopt;
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
      if (auto name = Mapped(item->second, kAudioEncoders))
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
  void Put(ProfileSetting setting, int index, const std::string& value) {
    entries_.push_back(
        {section_, std::string(settings::KeysOf(setting).index_key), std::to_string(index)});
    PutPara(setting, value);
  }

  void WriteVideoEncoder() {
    const auto item = Item(ProfileSetting::kVideoEncoder);
    if (!item) return;
    const auto name = Mapped(item->second, kVideoEncoders);
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
    const std::string& text = item->second;
    const char* value = text == "as source"           ? "as source"
                        : text == "mono 1 channel"    ? "1"
                        : text == "stereo 2 channels" ? "2"
                                                      : nullptr;
    if (value) {
      Put(ProfileSetting::kChannel, item->first, value);
    } else {
      entries_.push_back({section_,
                          std::string(settings::KeysOf(ProfileSetting::kChannel).index_key),
                          std::to_string(item->first)});
    }
  }

  void WriteVolume() {
    const auto item = Item(ProfileSetting::kVolume);
    if (!item) return;
    const std::string& text = item->second;
    const std::string number = text.empty() ? text : text.substr(0, text.size() - 1);
    for (const auto& [percent, value] : kVolumes) {
      if (IsInteger(number) && std::atoi(number.c_str()) == percent) {
        Put(ProfileSetting::kVolume, item->first, value);
        return;
      }
    }
    entries_.push_back({section_, std::string(settings::KeysOf(ProfileSetting::kVolume).index_key),
                        std::to_string(item->first)});
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
