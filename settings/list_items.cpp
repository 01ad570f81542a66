#include "settings/list_items.h"

#include <array>
#include <utility>

#include "settings/ini_document.h"

namespace kestrel::settings {

namespace {

using Mapping = std::pair<std::string_view, std::string_view>;

constexpr std::array<Mapping, 27> kVideoEncoders = {{
    {"mpeg-4", "mpeg4"},
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
    {"zlib", "zlib"},
}};

// "pcm_mulaw " carries a trailing blank: the item must have it to be recognised.
constexpr std::array<Mapping, 15> kAudioEncoders = {{
    {"mp3", "libmp3lame"},
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
    {"wma2", "wmav2"},
}};

constexpr std::array<Mapping, 3> kChannels = {{
    {"as source", "as source"},
    {"mono 1 channel", "1"},
    {"stereo 2 channels", "2"},
}};

constexpr std::array<std::pair<int, std::string_view>, 12> kVolumes = {{
    {25, "64"},
    {50, "128"},
    {75, "192"},
    {100, "256"},
    {125, "320"},
    {150, "384"},
    {175, "448"},
    {200, "512"},
    {250, "640"},
    {300, "768"},
    {350, "896"},
    {400, "1024"},
}};

template <size_t N>
std::optional<std::string> Lookup(const std::array<Mapping, N>& table, std::string_view item,
                                  bool ignore_case) {
  for (const auto& [text, name] : table) {
    if (ignore_case ? SameName(text, item) : text == item) return std::string(name);
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> VideoEncoderForItem(std::string_view item) {
  return Lookup(kVideoEncoders, item, true);
}

std::optional<std::string> AudioEncoderForItem(std::string_view item) {
  return Lookup(kAudioEncoders, item, true);
}

std::optional<std::string> ChannelForItem(std::string_view item) {
  return Lookup(kChannels, item, false);
}

std::optional<int> VolumeItemPercent(std::string_view item) {
  if (item.empty()) return std::nullopt;
  // The last character is dropped whole, even when it takes several bytes ("%" or "％").
  size_t last = item.size() - 1;
  while (last > 0 && (static_cast<unsigned char>(item[last]) & 0xC0) == 0x80) --last;
  return ParseInteger(item.substr(0, last));
}

std::optional<std::string> VolumeForPercent(int percent) {
  for (const auto& [known, stored] : kVolumes) {
    if (known == percent) return std::string(stored);
  }
  return std::nullopt;
}

}  // namespace kestrel::settings
