#include "settings/catalogue_keys.h"

namespace kestrel::settings {

namespace {

bool EqualsTrueIgnoringCase(std::string_view text) {
  return SameName(text, "true");
}

}  // namespace

std::string ReadFormat(const IniFile& catalogue, int code) {
  return catalogue.ReadString(ProfileSection(code), "Format", "null");
}

std::string ReadFileExt(const IniFile& catalogue, int code) {
  return catalogue.ReadString(ProfileSection(code), "FileExt", "mp4");
}

std::string ReadChoiceText(const IniFile& catalogue, int code, ProfileSetting setting) {
  return catalogue.ReadString(ProfileSection(code), KeysOf(setting).list_key, "null");
}

ChoiceList ReadChoiceList(const IniFile& catalogue, int code, ProfileSetting setting) {
  return ParseChoiceList(setting, ReadChoiceText(catalogue, code, setting));
}

int ReadDefaultIndex(const IniFile& catalogue, int code, ProfileSetting setting) {
  return catalogue.ReadInteger(ProfileSection(code), KeysOf(setting).index_key, 0);
}

std::vector<std::pair<std::string, std::string>> H264ExtrasToCopy(const IniFile& catalogue,
                                                                  int code) {
  const IniDocument doc = catalogue.Load();
  const std::string section = ProfileSection(code);
  std::vector<std::pair<std::string, std::string>> extras;
  for (std::string_view key : kH264ExtraKeys) {
    const auto text = doc.Find(section, key);
    if (!text) continue;
    if (key == "paraBitExact") {
      if (EqualsTrueIgnoringCase(*text)) extras.emplace_back(key, *text);
      continue;
    }
    const auto value = ParseInteger(*text);
    const int minimum = key == "paraCoder" ? 0 : 1;
    if (value && *value >= minimum) extras.emplace_back(key, std::to_string(*value));
  }
  return extras;
}

bool CopyH264Extras(const IniFile& catalogue, IniFile& settings, int code) {
  std::vector<IniFile::Entry> entries;
  for (auto& [key, value] : H264ExtrasToCopy(catalogue, code)) {
    entries.push_back({ProfileSection(code), key, value});
  }
  return entries.empty() || settings.WriteEntries(entries);
}

}  // namespace kestrel::settings
