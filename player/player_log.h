// Diagnostic output of the player and its playback core, through the process-wide log.
#pragma once

#include <string>

namespace kestrel {

enum class PlayerLogLevel { Fatal, Error, Info, Debug };

void PlayerLog(PlayerLogLevel level, const std::string& text);

// printf-style formatting into a std::string.
std::string FormatText(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

}  // namespace kestrel
