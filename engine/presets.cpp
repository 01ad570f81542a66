// Preset lookup and application: a built-in preset by name, else a preset file.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/ffmpeg_options.h"
#include "engine/option_values.h"
#include "engine/presets.h"

namespace kestrel {
namespace {

const TOptionsPreset* FindPreset(const std::string& name) {
  for (const TOptionsPreset& preset : OptionsPresets())
    if (SameTextIgnoringCase(name, preset.name)) return &preset;
  return nullptr;
}

// Trimmed, with CR LF and lone CR turned into LF.
std::string NormaliseLines(const std::string& text) {
  std::string lines;
  const std::string trimmed = TrimText(text);
  for (size_t i = 0; i < trimmed.size(); ++i) {
    if (trimmed[i] == '\r') {
      lines += '\n';
      if (i + 1 < trimmed.size() && trimmed[i + 1] == '\n') ++i;
    } else {
      lines += trimmed[i];
    }
  }
  return lines;
}

}  // namespace

void TFFmpegOptions::LoadPreset(const std::string& kind, const std::string& value) {
  std::string preset_name = value;
  const TOptionsPreset* preset = nullptr;
  if (kind != "fpre") {
    preset = FindPreset(value);
    if (!preset) {
      const std::string& codec = kind == "vpre"   ? state_.video_codec_name
                                 : kind == "apre" ? state_.audio_codec_name
                                                  : state_.subtitle_codec_name;
      preset_name = codec.empty() ? value : codec + "-" + value;
      preset = FindPreset(preset_name);
    }
  }
  if (preset) return ApplyPresetText(preset_name, preset->text);

  std::error_code error;
  std::ifstream file;
  if (std::filesystem::is_regular_file(value, error)) file.open(value, std::ios::binary);
  if (!file.is_open()) throw FFmpegException(FormatText("Preset \"%s\" not found", value.c_str()));
  std::ostringstream text;
  text << file.rdbuf();
  ApplyPresetText(preset_name, text.str());
}

void TFFmpegOptions::ApplyPresetText(const std::string& preset_name, const std::string& text) {
  std::istringstream lines(NormaliseLines(text));
  std::string raw;
  while (std::getline(lines, raw)) {
    const std::string line = TrimText(raw);
    if (line.empty()) continue;
    const size_t equals = line.find('=');
    const std::string key = equals == std::string::npos ? line : line.substr(0, equals);
    const std::string value = equals == std::string::npos ? "" : line.substr(equals + 1);
    if (key.empty() || value.empty())
      throw FFmpegException(
          FormatText("%s: Invalid syntax: \"%s\"", preset_name.c_str(), line.c_str()));
    const std::string lower = LowerText(key);
    if (lower == "vcodec" || lower == "acodec" || lower == "scodec") {
      SetOption(lower, value);
    } else if (!SetAVOption(key, value)) {
      throw FFmpegException(
          FormatText("%s: Invalid option or argument: \"%s\", parsed as \"%s\" = \"%s\"",
                     preset_name.c_str(), line.c_str(), key.c_str(), value.c_str()));
    }
  }
}

}  // namespace kestrel
