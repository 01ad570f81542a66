#include "settings/profile_table.h"

#include <algorithm>

namespace kestrel::settings {

namespace {

const std::vector<std::string_view> kXboxNames = {"Microsoft Xbox WMV Video (*.wmv)",
                                                  "Microsoft Xbox AVI Video (*.avi)",
                                                  "Microsoft Xbox MPEG-4 Video (*.mp4)"};

const std::vector<std::string_view> kGeneralVideoNames = {"MPEG-1 Video (*.mpg)",
                                                          "MPEG-2 Video (*.mpg)",
                                                          "MPEG-4 Video (*.mp4)",
                                                          "H.264/MPEG-4 AVC Video (*.mp4)",
                                                          "AVI Video (*.avi)",
                                                          "WMV Video (*.wmv)",
                                                          "Divx Video (*.avi)",
                                                          "Xvid Video (*.avi)",
                                                          "DV - NTSC -Digital Video Format (*.dv)",
                                                          "DV - PAL -Digital Video Format (*.dv)"};

const std::vector<std::string_view> kGeneralAudioNames = {
    "MP3 MPEG Layer-3 Audio (*.mp3)", "AAC Advenced Audio Codec (*.aac)",
    "M4A MPEG-4 Audio (*.m4a)",       "WMA - Windows Meida Audio (*.wma)",
    "WAV - Waveform Audio (*.wav)",   "OGG Vorbis Audio Codec (*.ogg)",
    "AC-3 Audio Codec (*.ac3)"};

std::vector<CategoryRow> MakeTable() {
  const IconList g = IconList::kGeneral;
  return {
      {0,
       0,
       "Apple iPod",
       {"iPod Video MPEG-4 (*.mp4)", "iPod Video H.264 (*.mp4)",
        "iPod MPEG-4 Excellent (320 x 240)(*.mp4)", "iPod MPEG-4 Normal (320 x 240)(*.mp4)",
        "iPod MPEG-4 Mini (320 x 240)(*.mp4)", "iPod Touch MPEG-4 Excellent (*.mp4)",
        "iPod Touch MPEG-4 (480 x 320) (*.mp4)", "iPod Touch MPEG-4 (320 x 240) (*.mp4)",
        "iPod Touch MPEG-4 Wide Screen (*.mp4)"},
       g},
      {1,
       1,
       "Apple iPhone",
       {"iPhone MPEG-4 Extra Video (*.mp4)", "iPhone MPEG-4 Wide Screen (*.mp4)",
        "iPhone MPEG-4 Movie (*.mp4)", "iPhone Movie for 480p TV Out (*.mp4)",
        "iPhone Movie for 576p TV Out (*.mp4)"},
       g},
      {2,
       2,
       "Apple TV",
       {"Apple TV (640 x 480) MPEG-4 Excellent (*.mp4)",
        "Apple TV (640 x 480) MPEG-4 Normal (*.mp4)", "Apple TV (640 x 480) MPEG-4 Mini (*.mp4)",
        "Apple H.264 (320 x 240) (*.mp4)", "Apple H.264 480P (640 x 480) (*.mp4)",
        "Apple H.264 720p (1280 x 720) (*.mp4)"},
       g},
      {3, 3, "GPhone", {"GPhone MPEG-4 Movie (*.mp4)"}, g},
      {4,
       4,
       "Sony PSP",
       {"PSP MPEG-4 Excellent Quality (*.mp4)", "PSP MPEG-4 Normal Quality (*.mp4)",
        "PSP MPEG-4 Mini Size (*.mp4)", "PSP H.264/AVC Video (*.mp4)", "PSP Video (480P) (*.mp4)"},
       g},
      {5,
       5,
       "Sony PS3",
       {"PS3 MPEG-4 Video (480P) (*.mp4)", "PS3 MPEG-4 Video (480P) Excellent (*.mp4)",
        "PS3 MPEG-4 Video (720P) (*.mp4)", "PS3 MPEG-4 Video (1080P) (*.mp4)"},
       g},
      {6,
       6,
       "Microsoft Zune",
       {"Microsoft Zune MPEG-4 Video (*.mp4)", "Microsoft Zune MPEG-4 AVC Video (*.mp4)",
        "Microsoft Zune Windows Media Video (*.wmv)"},
       g},
      {7,
       7,
       "Sony Walkman",
       {"Sony Walkman MPEG-4 Video (*.mp4)", "Sony Walkman AVC Video (*.mp4)",
        "Sony Walkman WMV Video (*.wmv)"},
       g},
      {8,
       8,
       "Archos",
       {"Archos H.264 Video (*.mp4)", "Archos MPEG4 Video (*.mp4)", "Archos 105 Video (*.wmv)",
        "Archos 404/405 Video (*.avi)", "Archos 504/604 Video (*.avi)",
        "Archos 605/705/TV+ Video (*.avi)", "Archos AV500/700 Video (*.avi)"},
       g},
      {9,
       9,
       "Creative Zen",
       {"Creative Zen H.264 Video (*.mp4)", "Creative Zen MPEG4 Video (*.mp4)",
        "Creative Zen Xvid Video (*.avi)", "Creative Zen X-Fi Video (*.avi)",
        "Creative Zen Vison Video (*.avi)", "Creative Zen Vison M Video (*.avi)",
        "Creative Zen Vison W Video (*.avi)"},
       g},
      {10,
       10,
       "iRiver",
       {"iRiver H.264 Video (*.mp4)", "iRiver MPEG4 Video (*.mp4)", "iRiver WMV Video (*.wmv)",
        "iRiver Xvid Video (*.avi)", "iRiver E10 Video (*.avi)", "iRiver U10/Clix Video (*.avi)",
        "iRiver B20/X20/Clix 2/E100/Lplayer Video (*.avi)",
        "iRiver Spinn/D28/DICPLE D30 Video (*.avi)", "iRiver P10/P20 Video (*.avi)",
        "iRiver PMP-120/140/IMP-1000/1100 Video (*.avi)"},
       g},
      {11,
       11,
       "Sandisk Sansa",
       {"Sandisk Sansa AVI Video (*.avi)", "Sandisk Sansa WMV Video (*.wmv)",
        "Sandisk Sansa MPEG-4 Video (*.mp4)"},
       g},
      {12, 12, "Microsoft xbox 360", kXboxNames, g},
      {13,
       13,
       "Nitendeo WII",
       {"Nitendeo Wii AVI Video (*.avi)", "Nitendeo Wii MOV Video (*.mov)"},
       g},
      {14,
       14,
       "Mobile Phone",
       {"Mobile Phone 3GP h263 Video(*.3gp)", "Mobile Phone 3GP MPEG-4 Video(*.3gp)",
        "Mobile Phone 3GP2 h263 Video(*.3gp)", "Mobile Phone 3GP2 MPEG-4 Video(*.3gp)",
        "Mobile Phone MPEG-4 Video(*.mp4)", "Nokia N Series MPEG-4 Video(*.mp4)"},
       g},
      {15, 15, "BlackBerry", {"BlackBerry MPEG-4 Video(*.mp4)"}, g},
      {16, 16, "Nokia", {"Nokia N Series MPEG-4 Video (*.mp4)"}, g},
      {17,
       17,
       "Windows Mobile",
       {"Dell Axim 51 Video (*.wmv)", "Dell Axim 51V Video (*.wmv)",
        "HP iPAQ hw6500 Series Video (*.wmv)", "HP iPAQ hx2000/rx3000/rx1900 Series Video (*.wmv)",
        "HP iPAQ hx4700 Series Video (*.wmv)", "Palm Treo Series Video (*.wmv)",
        "HTC Touch Diamond Video (*.wmv)", "General Pocket PC Video (*.wmv)"},
       g},
      {18, 18, "Quick Time Video - MOV", {"MOV - Quick Time Video (*.mov)"}, g},
      {19, 19, "Flash Video", {"Flash Video Format (*.flv)", "Flash SWF Format (*.swf)"}, g},
      {20, 20, "Toshiba Gigabeat", {"Toshiba Gigabeat WMV Movie (*.wmv)"}, g},
      {21,
       21,
       "HD Video",
       {"HD AVI Video (*.avi)", "HD Divx Video (*.avi)", "HD H.264/MPEG-4 AVC Video (*.mp4)",
        "HD MOV Video (*.mov)", "HD WMV Video (*.wmv)", "HD MPEG-4 Video (*.mp4)",
        "HD Xvid Video (*.avi)", "HD MPEG2-PS Video (*.mpg)", "HD MPEG2-TS Video (*.ts)"},
       g},
      {22,
       22,
       "DVD Video",
       {"DVD - NTSC MPEG-2 Moive (*.mpg)", "DVD - PAL MPEG-2 Moive (*.mpg)"},
       g},
      {23,
       23,
       "SVCD Video",
       {"SVCD - NTSC MPEG-2 Moive (*.mpg)", "SVCD - PAL MPEG-2 Moive (*.mpg)"},
       g},
      {24,
       24,
       "VCD Video",
       {"VCD - NTSC MPEG-1 Moive (*.mpg)", "VCD - PAL MPEG-1 Moive (*.mpg)"},
       g},
      {25, 25, "Matroska Video - MKV", {"MKV - Matroska Video (*.mkv)"}, g},
      {26, 26, "General Video formates", kGeneralVideoNames, g},
      {27, 27, "General Audio formates", kGeneralAudioNames, g},
      {0, 12, "Microsoft xbox 360", kXboxNames, IconList::kConsole},
      {1, 26, "General Video formates", kGeneralVideoNames, IconList::kConsole},
      {2, 27, "General Audio formates", kGeneralAudioNames, IconList::kConsole},
  };
}

}  // namespace

const std::vector<CategoryRow>& PickerTable() {
  static const std::vector<CategoryRow> table = MakeTable();
  return table;
}

std::vector<ListedProfile> ListedProfiles() {
  std::vector<ListedProfile> profiles;
  const auto& table = PickerTable();
  for (size_t row = 0; row < table.size(); ++row) {
    for (size_t p = 0; p < table[row].names.size(); ++p) {
      profiles.push_back({static_cast<int>(row), static_cast<int>(p),
                          ProfileCode(table[row].code_base, static_cast<int>(p)),
                          table[row].names[p]});
    }
  }
  return profiles;
}

std::vector<int> ListedCodes() {
  std::vector<int> codes;
  for (const ListedProfile& profile : ListedProfiles()) codes.push_back(profile.code);
  std::sort(codes.begin(), codes.end());
  codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
  return codes;
}

}  // namespace kestrel::settings
