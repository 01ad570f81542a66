#include "settings/settings_keys.h"

#include "settings/locations.h"

namespace kestrel::settings {

std::string ReadOutputDir(const IniFile& settings) {
  return settings.ReadString(kSettingsSection, key::kOutPutDir, DefaultOutputFolder());
}

std::string ReadFormatCodeText(const IniFile& settings) {
  return settings.ReadString(kSettingsSection, key::kFormatCode, "1");
}

int ReadFormatCode(const IniFile& settings) {
  return settings.ReadInteger(kSettingsSection, key::kFormatCode, 1);
}

std::string ReadFormatName(const IniFile& settings, FormatNameReader reader) {
  return settings.ReadString(kSettingsSection, key::kFormatName,
                             reader == FormatNameReader::kStartup
                                 ? "iPod Video MPEG-4"
                                 : "Apple iPod Video MPEG-4 Movie (*.mp4)");
}

bool WriteChosenProfile(IniFile& settings, int code, std::string_view name) {
  const std::string section(kSettingsSection);
  return settings.WriteEntries({{section, std::string(key::kFormatName), std::string(name)},
                                {section, std::string(key::kFormatCode), std::to_string(code)}});
}

int ReadSkinIndex(const IniFile& settings) {
  return settings.ReadInteger(kSettingsSection, key::kSkinIndex, 0);
}

int ReadPreviewVolume(const IniFile& settings) {
  const int volume = settings.ReadInteger(kSettingsSection, key::kVolume, 0);
  return volume < 0 || volume > 128 ? 64 : volume;
}

std::optional<bool> ReadMute(const IniFile& settings) {
  switch (settings.ReadInteger(kSettingsSection, key::kMute, 0)) {
    case 0:
      return false;
    case 1:
      return true;
    default:
      return std::nullopt;
  }
}

int ReadPriority(const IniFile& settings) {
  return settings.ReadInteger(kSettingsSection, key::kPriority, 1);
}

SnapshotSettings ReadSnapshotSettings(const IniFile& settings) {
  const IniDocument doc = settings.Load();  // one read for the whole group
  auto flag = [&](std::string_view name) {
    const auto value = doc.Find(kSettingsSection, name);
    return !value || ParseInteger(*value).value_or(1) != 0;
  };
  SnapshotSettings snap;
  snap.folder = doc.Find(kSettingsSection, key::kSnapOutPutDir).value_or(DefaultOutputFolder());
  snap.full_size = flag(key::kSnapFullSize);
  snap.small_size = flag(key::kSnapSmallSize);
  snap.bmp = flag(key::kSnapBmp);
  snap.jpg = flag(key::kSnapJpg);
  const auto quality = doc.Find(kSettingsSection, key::kJpgCmp);
  snap.jpeg_quality = quality ? ParseInteger(*quality).value_or(30) : 30;
  return snap;
}

bool ReadCategoryCollapsed(const IniFile& settings, int number) {
  return settings.ReadBool(kCategoryStateSection, std::to_string(number), true);
}

}  // namespace kestrel::settings
