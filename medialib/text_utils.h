// Texts shared by the engine, the probe and the player: error texts, time texts, file
// sizes, media-type names and codec descriptions.
//
// Times are signed 64-bit microseconds; kNoTimestamp (only the top bit set, the media
// libraries' "no timestamp" value) means unknown.
#pragma once

#include <cstdint>
#include <limits>
#include <string>

struct AVCodecContext;
struct AVCodecParameters;
struct AVDictionary;

namespace kestrel {

constexpr std::int64_t kNoTimestamp = std::numeric_limits<std::int64_t>::min();

// The text of a media-library error code (a negative AVERROR value), e.g.
// "No such file or directory"; unknown codes give "Error number %d occurred".
std::string ErrorText(int error_code);
// prefix + ": " + ErrorText(error_code), e.g. "a.avi: No such file or directory".
std::string FormatErrorText(const std::string& prefix, int error_code);

// "HH:MM:SS.mmm" (hours not wrapped at 24); "N/A" for kNoTimestamp. A negative time
// keeps its sign in front: "-00:00:01.500".
std::string FormatDuration(std::int64_t time_us);
// The same text for the dialogs' time fields.
std::string FormatTime(std::int64_t time_us);
// "S.mmm" (whole seconds, milliseconds), e.g. "83.250"; "N/A" for kNoTimestamp.
std::string FormatDecimalSeconds(std::int64_t time_us);
// "H:MM:SS" from whole seconds, hours without padding; negative counts as 0.
std::string FormatClock(std::int64_t seconds);
// "%.2f GB", "%.2f MB", "%.2f KB" (binary units, for sizes above each unit) or "%d Byte".
std::string FormatFileSize(std::int64_t size_bytes);

// "Video", "Audio", "Data", "Subtitle", "Attachment" for the media types 0..4, else
// "Unknown".
std::string MediaTypeName(int media_type);

// Describes a codec: "name(long name)" (or "name") of the encoder or decoder the loaded
// libraries have for codec_id; else "mpeg2ts" for the MPEG-2 TS id, the codec id's
// descriptor name, "abcd / 0x64636261" when all four tag bytes are printable, or
// "0x%04x" of the tag. Needs avcodec loaded.
std::string FormatCodecDescription(int codec_id, std::uint32_t codec_tag, bool encoder);
std::string FormatCodecDescription(const AVCodecContext* context, bool encoder);
std::string FormatCodecDescription(const AVCodecParameters* parameters, bool encoder);

// The value of the first entry named key (matched as the libraries match metadata keys:
// ignoring case), else default_value. Needs avutil loaded; a null dictionary has no entry.
std::string GetMetadataValue(const AVDictionary* metadata, const std::string& key,
                             const std::string& default_value = "");

}  // namespace kestrel
