// A profile the user never tuned has no values in the settings file, and the option
// builder's own defaults do not describe it. These write the catalogue's default items
// into the profile's settings section, with the names and texts the format panel's
// Default button writes (mapped encoder names, volume in 256ths, channel counts).
#pragma once

#include "settings/ini_file.h"

namespace kestrel::jobs {

// True when the settings file holds a "para" value of any of the profile's nine choice
// settings.
bool ProfileIsTuned(const settings::IniFile& settings, int code);

// Writes the profile's defaults in one change of the settings file, in the Default
// button's order: video encoder (with the H.264 extras for "h264"), frame size, frame
// rate, video bit rate, zoom, audio encoder, audio bit rate, sample rate, channels,
// volume. A setting whose list does not apply or whose default item cannot be used is
// left out. False when the file cannot be written (LastErrMsg of the file).
bool WriteProfileDefaults(const settings::IniFile& catalogue, settings::IniFile& settings,
                          int code);

}  // namespace kestrel::jobs
