#include "settings/profile_keys.h"

namespace kestrel::settings {

namespace {

// One row per ProfileSetting, in its order. Defaults: format panel, option builder,
// format settings dialog, job list.
constexpr std::array<ProfileSettingKeys, 10> kKeys = {{
    {"VideoSize", "iVideoSize", "paraVideoSize", false, {"320x240", "null", "320x240", ""}},
    {"VideoBitRate", "iVideoBitRate", "paraVideoBitRate", false, {"768", "512", "800", ""}},
    {"FrameRate", "iFrameRate", "paraFrameRate", false, {"", "29.97", "25", ""}},
    {"VideoEncoder", "iVideoEncoder", "paraVideoEncoder", true, {"", "", "", ""}},
    {"AudioBitRate", "iAudioBitRate", "paraAudioBitRate", true, {"96", "128", "96", ""}},
    {"SampleRate", "iSampleRate", "paraSampleRate", true, {"44100", "44100", "44100", ""}},
    {"AudioEncoder", "iAudioEncoder", "paraAudioEncoder", true, {"", "", "", ""}},
    {"Channel", "iChannel", "paraChannel", true, {"", "2", "", ""}},
    // The option builder's default is the text "3", not the neutral "256".
    {"Volume", "iVolume", "paraVolume", true, {"", "3", "", ""}},
    {"", "", "paraZoom", false, {"full", "", "full", "lbox"}},
}};

}  // namespace

const ProfileSettingKeys& KeysOf(ProfileSetting setting) {
  return kKeys[static_cast<size_t>(setting)];
}

std::string ProfileSection(int code) {
  return "formatInfo" + std::to_string(code);
}

std::string ReadPara(const IniFile& settings, int code, ProfileSetting setting, ParaReader reader) {
  const ProfileSettingKeys& keys = KeysOf(setting);
  return settings.ReadString(ProfileSection(code), keys.para_key,
                             keys.para_defaults[static_cast<size_t>(reader)]);
}

int ReadIndex(const IniFile& settings, int code, ProfileSetting setting) {
  return settings.ReadInteger(ProfileSection(code), KeysOf(setting).index_key, 0);
}

}  // namespace kestrel::settings
