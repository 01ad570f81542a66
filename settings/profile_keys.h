// The settings of one output profile. A profile's section "formatInfo" + code exists in
// both files: in the catalogue it lists what may be chosen (a choice list and a default
// index per setting), in the settings file it holds what was chosen (an "i" key with the
// item index and a "para" key with the value the conversion uses).
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "settings/ini_file.h"

namespace kestrel::settings {

enum class ProfileSetting {
  kVideoSize,
  kVideoBitRate,
  kFrameRate,
  kVideoEncoder,
  kAudioBitRate,
  kSampleRate,
  kAudioEncoder,
  kChannel,
  kVolume,
  kZoom,  // settings file only ("paraZoom"); no list, no index
};

// The nine settings that have a choice list and a default index in the catalogue.
inline constexpr std::array<ProfileSetting, 9> kChoiceSettings = {
    ProfileSetting::kVideoSize,    ProfileSetting::kVideoBitRate, ProfileSetting::kFrameRate,
    ProfileSetting::kVideoEncoder, ProfileSetting::kAudioBitRate, ProfileSetting::kSampleRate,
    ProfileSetting::kAudioEncoder, ProfileSetting::kChannel,      ProfileSetting::kVolume};

// Who reads a "para" key; each has its own default.
enum class ParaReader {
  kFormatPanel,     // the main window's setting boxes
  kOptionBuilder,   // turning a profile into conversion options
  kSettingsDialog,  // the format settings dialog
  kJobList,         // Add and Start (only the zoom mode)
};

struct ProfileSettingKeys {
  std::string_view list_key;   // catalogue choice list, e.g. "VideoSize" (empty for zoom)
  std::string_view index_key;  // e.g. "iVideoSize" (empty for zoom)
  std::string_view para_key;   // e.g. "paraVideoSize"
  bool empty_list_means_null;  // an empty list text disables the box like "null"
  // Default of the "para" key per ParaReader; empty where that reader does not read it
  // (or, for the encoders, where absent means "none").
  std::array<std::string_view, 4> para_defaults;
};
const ProfileSettingKeys& KeysOf(ProfileSetting setting);

// "formatInfo" followed by the code in decimal.
std::string ProfileSection(int code);

// The option builder's audio encoder for a profile without video when none is stored.
inline constexpr std::string_view kAudioOnlyAudioEncoder = "libfaac";

// Settings file: the "para" value with the reader's default, and the "i" index (default 0).
std::string ReadPara(const IniFile& settings, int code, ProfileSetting setting, ParaReader reader);
int ReadIndex(const IniFile& settings, int code, ProfileSetting setting);

// The H.264 values a profile section may carry, copied from the catalogue to the settings
// file when the "h264" encoder is chosen.
inline constexpr std::array<std::string_view, 7> kH264ExtraKeys = {
    "paraBitExact", "paraMaxBitrate", "paraBufferSize", "paraLevel",
    "paraQscale",   "paraGop",        "paraCoder"};

}  // namespace kestrel::settings
