// Diagnostic output of the player and its playback core, through the process-wide log.
#pragma once

#include <string>

#include "medialib/media_logger.h"

namespace kestrel {

void PlayerLog(TLogLevel level, const std::string& text);

// printf-style formatting into a std::string.
std::string FormatText(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

}  // namespace kestrel
