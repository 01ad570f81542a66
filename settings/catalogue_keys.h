// Readers of the profile catalogue file (read only; the program never writes it). A
// missing file, section or key reads as its default.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "settings/choice_list.h"
#include "settings/ini_file.h"
#include "settings/profile_keys.h"

namespace kestrel::settings {

// "Format": the profile's kind, default "null".
std::string ReadFormat(const IniFile& catalogue, int code);
// "FileExt": the output file's extension without dot, default "mp4".
std::string ReadFileExt(const IniFile& catalogue, int code);

// The choice list text of one of the nine kChoiceSettings (default "null"), and parsed.
std::string ReadChoiceText(const IniFile& catalogue, int code, ProfileSetting setting);
ChoiceList ReadChoiceList(const IniFile& catalogue, int code, ProfileSetting setting);
// The default item index ("iVideoSize", ...), default 0.
int ReadDefaultIndex(const IniFile& catalogue, int code, ProfileSetting setting);

// The H.264 values of the catalogue section that are copied to the settings file when the
// "h264" encoder is chosen: paraBitExact when it is "true" (any case), paraMaxBitrate,
// paraBufferSize, paraLevel, paraQscale and paraGop when their integer value is above 0,
// paraCoder when it is 0 or more. Key and value pairs, in kH264ExtraKeys order.
std::vector<std::pair<std::string, std::string>> H264ExtrasToCopy(const IniFile& catalogue,
                                                                  int code);
// Copies them into the profile's section of the settings file in one write.
bool CopyH264Extras(const IniFile& catalogue, IniFile& settings, int code);

}  // namespace kestrel::settings
