// The keys of the settings file and their readers. Several keys are read with different
// defaults by different parts of the program; each reader below carries its own.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "settings/ini_file.h"

namespace kestrel::settings {

inline constexpr std::string_view kSettingsSection = "settings";
inline constexpr std::string_view kCategoryStateSection = "lstformat";

namespace key {
inline constexpr std::string_view kOutPutDir = "OutPutDir";
inline constexpr std::string_view kFormatCode = "FormatCode";
inline constexpr std::string_view kFormatName = "FormatName";
inline constexpr std::string_view kSkinIndex = "skinIndex";
inline constexpr std::string_view kVolume = "volume";
inline constexpr std::string_view kMute = "mute";
inline constexpr std::string_view kPriority = "priority";
inline constexpr std::string_view kSnapOutPutDir = "SnapOutPutDir";
inline constexpr std::string_view kSnapFullSize = "snapFullSize";
inline constexpr std::string_view kSnapSmallSize = "snapSmallSize";
inline constexpr std::string_view kSnapBmp = "snapBmp";
inline constexpr std::string_view kSnapJpg = "snapJpg";
inline constexpr std::string_view kJpgCmp = "jpgCmp";
inline constexpr std::string_view kDescription = "Description";  // in a profile section
}  // namespace key

// Output folder ("OutPutDir"), default DefaultOutputFolder(). Checked when used
// (output_folder.h), not here.
std::string ReadOutputDir(const IniFile& settings);

// The chosen profile. The code is read as text ("1") at start and by the format settings
// dialog, as an integer (1) by Add and Start.
std::string ReadFormatCodeText(const IniFile& settings);
int ReadFormatCode(const IniFile& settings);

enum class FormatNameReader {
  kStartup,  // main window start and the format settings dialog: "iPod Video MPEG-4"
  kPicker,   // the picker: "Apple iPod Video MPEG-4 Movie (*.mp4)"
};
std::string ReadFormatName(const IniFile& settings, FormatNameReader reader);
// Stores FormatName and FormatCode together.
bool WriteChosenProfile(IniFile& settings, int code, std::string_view name);

// "skinIndex", default 0 (see the skin rule of the application for numbers out of range).
int ReadSkinIndex(const IniFile& settings);

// The preview volume as applied to the slider: "volume" (default 0), 64 when the stored
// value lies outside 0..128.
int ReadPreviewVolume(const IniFile& settings);

// "mute": 1 checks the box, 0 clears it, anything else leaves the initial state (nullopt).
std::optional<bool> ReadMute(const IniFile& settings);

// "priority", default 1: 0 Idle, 1 Normal, 2 Lower, 3 Lowest (-1 when nothing was chosen).
int ReadPriority(const IniFile& settings);

struct SnapshotSettings {
  std::string folder;  // "SnapOutPutDir", default DefaultOutputFolder()
  bool full_size = true;
  bool small_size = true;
  bool bmp = true;
  bool jpg = true;
  int jpeg_quality = 30;  // 1..100
};
SnapshotSettings ReadSnapshotSettings(const IniFile& settings);

// "lstformat": whether the category of `number` is shown collapsed (default true).
bool ReadCategoryCollapsed(const IniFile& settings, int number);

}  // namespace kestrel::settings
