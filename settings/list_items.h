// What the setting boxes store for the items of the catalogue's lists: the encoder display
// texts map to encoder (or container) names, the channel and volume texts to numbers.
// nullopt: the item is not one the program knows, and nothing is stored for it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrel::settings {

// Compared lower-cased: "mpeg-4" -> "mpeg4", "xvid" -> "libxvid", "h264" -> "libx264", and
// the names that are stored as they are ("mpeg2video", "wmv2", "flv", ...).
std::optional<std::string> VideoEncoderForItem(std::string_view item);

// Compared lower-cased: "mp3" -> "libmp3lame", "aac" -> "libfaac", "ac-3" -> "ac3", ...
std::optional<std::string> AudioEncoderForItem(std::string_view item);

// "as source" -> "as source", "mono 1 channel" -> "1", "stereo 2 channels" -> "2".
std::optional<std::string> ChannelForItem(std::string_view item);

// The item text without its last character read as an integer percentage ("150%" -> 150);
// nullopt when that is not an integer.
std::optional<int> VolumeItemPercent(std::string_view item);
// The stored volume of a percentage the program knows (100 -> "256", 150 -> "384").
std::optional<std::string> VolumeForPercent(int percent);

}  // namespace kestrel::settings
