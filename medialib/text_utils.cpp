#include "medialib/text_utils.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "medialib/av.h"

namespace kestrel {
namespace {

struct ErrorRow {
  int code;
  const char* text;
};

// Today's error codes, each mapped to the text of the error it stands for. EINVAL keeps
// the invalid-data text it had when both were the same code; EILSEQ was the old
// "unknown format" code and EDOM the old "number expected" code.
const std::array<ErrorRow, 14> kErrorTexts = {{
    {AVERROR_PATCHWELCOME, "Not yet implemented in FFmpeg"},
    {AVERROR(ENOSYS), "Not yet implemented in FFmpeg"},
    {AVERROR_PROTOCOL_NOT_FOUND, "Unsupported network protocol"},
    {AVERROR(EPROTONOSUPPORT), "Unsupported network protocol"},
    {AVERROR_DEMUXER_NOT_FOUND, "Unknown format"},
    {AVERROR_MUXER_NOT_FOUND, "Unknown format"},
    {AVERROR(EILSEQ), "Unknown format"},
    {AVERROR(EDOM), "Number syntax expected in filename"},
    {AVERROR_EOF, "End of file"},
    {AVERROR_INVALIDDATA, "Invalid data found when processing input"},
    {AVERROR(EINVAL), "Invalid data found when processing input"},
    {AVERROR(ENOMEM), "Not enough memory"},
    {AVERROR(EIO), "I/O error"},
    {AVERROR(ENOENT), "No such file or directory"},
}};

template <typename... Args>
std::string Printf(const char* format, Args... args) {
  char buffer[64];
  const int n = std::snprintf(buffer, sizeof buffer, format, args...);
  return n < 0 ? std::string() : std::string(buffer, std::min<size_t>(n, sizeof buffer - 1));
}

// Splits a time into a sign and its magnitude; kNoTimestamp has none.
bool SplitSign(std::int64_t time_us, const char** sign, std::int64_t* magnitude) {
  if (time_us == kNoTimestamp) return false;
  *sign = time_us < 0 ? "-" : "";
  *magnitude = time_us < 0 ? -time_us : time_us;
  return true;
}

std::string HoursMinutesSecondsMillis(std::int64_t time_us) {
  const char* sign;
  std::int64_t us;
  if (!SplitSign(time_us, &sign, &us)) return "N/A";
  const std::int64_t seconds = us / 1000000;
  return Printf("%s%.2lld:%.2lld:%.2lld.%.3lld", sign, static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60),
                static_cast<long long>(us % 1000000 / 1000));
}

std::string Trimmed(const char* text, size_t max_length) {
  std::string s(text, strnlen(text, max_length));
  const size_t first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

bool Printable(std::uint32_t byte) {
  return byte >= 32 && byte <= 126;
}

}  // namespace

std::string ErrorText(int error_code) {
  for (const ErrorRow& row : kErrorTexts) {
    if (row.code == error_code) return row.text;
  }
  return Printf("Error number %d occurred", error_code);
}

std::string FormatErrorText(const std::string& prefix, int error_code) {
  return prefix + ": " + ErrorText(error_code);
}

std::string FormatDuration(std::int64_t time_us) {
  return HoursMinutesSecondsMillis(time_us);
}
std::string FormatTime(std::int64_t time_us) {
  return HoursMinutesSecondsMillis(time_us);
}

std::string FormatDecimalSeconds(std::int64_t time_us) {
  const char* sign;
  std::int64_t us;
  if (!SplitSign(time_us, &sign, &us)) return "N/A";
  return Printf("%s%lld.%.3lld", sign, static_cast<long long>(us / 1000000),
                static_cast<long long>(us % 1000000 / 1000));
}

std::string FormatClock(std::int64_t seconds) {
  if (seconds < 0) seconds = 0;
  return Printf("%lld:%.2lld:%.2lld", static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
}

std::string FormatFileSize(std::int64_t size_bytes) {
  const double size = static_cast<double>(size_bytes);
  if (size_bytes > (std::int64_t{1} << 30)) return Printf("%.2f GB", size / (1 << 30));
  if (size_bytes > (std::int64_t{1} << 20)) return Printf("%.2f MB", size / (1 << 20));
  if (size_bytes > (std::int64_t{1} << 10)) return Printf("%.2f KB", size / (1 << 10));
  return Printf("%lld Byte", static_cast<long long>(size_bytes));
}

std::string MediaTypeName(int media_type) {
  static const char* const kNames[] = {"Video", "Audio", "Data", "Subtitle", "Attachment"};
  return media_type >= 0 && media_type < 5 ? kNames[media_type] : "Unknown";
}

std::string FormatCodecDescription(int codec_id, std::uint32_t codec_tag, bool encoder) {
  const auto id = static_cast<AVCodecID>(codec_id);
  const AVCodec* codec = encoder ? av::avcodec_find_encoder(id) : av::avcodec_find_decoder(id);
  if (codec) {
    const std::string long_name = codec->long_name ? Trimmed(codec->long_name, 1024) : "";
    return long_name.empty() ? codec->name : std::string(codec->name) + "(" + long_name + ")";
  }
  if (id == AV_CODEC_ID_MPEG2TS) return "mpeg2ts";
  if (id != AV_CODEC_ID_NONE) {
    if (const AVCodecDescriptor* descriptor = av::avcodec_descriptor_get(id)) {
      const std::string name = Trimmed(descriptor->name, 32);
      if (!name.empty()) return name;
    }
  }
  const std::uint32_t bytes[4] = {codec_tag & 0xFF, (codec_tag >> 8) & 0xFF,
                                  (codec_tag >> 16) & 0xFF, codec_tag >> 24};
  if (Printable(bytes[0]) && Printable(bytes[1]) && Printable(bytes[2]) && Printable(bytes[3])) {
    return Printf("%c%c%c%c / 0x%04X", static_cast<int>(bytes[0]), static_cast<int>(bytes[1]),
                  static_cast<int>(bytes[2]), static_cast<int>(bytes[3]), codec_tag);
  }
  return Printf("0x%04x", codec_tag);
}

std::string FormatCodecDescription(const AVCodecContext* context, bool encoder) {
  return FormatCodecDescription(context->codec_id, context->codec_tag, encoder);
}

std::string FormatCodecDescription(const AVCodecParameters* parameters, bool encoder) {
  return FormatCodecDescription(parameters->codec_id, parameters->codec_tag, encoder);
}

std::string GetMetadataValue(const AVDictionary* metadata, const std::string& key,
                             const std::string& default_value) {
  if (!metadata) return default_value;
  const AVDictionaryEntry* entry = av::av_dict_get(metadata, key.c_str(), nullptr, 0);
  return entry && entry->value ? entry->value : default_value;
}

}  // namespace kestrel
