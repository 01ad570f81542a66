// The engine's route to the process-wide log capture (medialib/media_logger.h).
//
// Levels are the media libraries' numeric levels (AV_LOG_QUIET -8 ... AV_LOG_DEBUG 48);
// the capture maps them to its TLogLevel bands.
#pragma once

#include <string>

namespace kestrel {

// An engine message from `sender`, filtered by the capture's level.
void EngineLog(const void* sender, int level, const std::string& text);
// True when an engine message at `level` would pass the capture's filter.
bool EngineLogPasses(int level);
// The capture's level, and changing it ("loglevel", the codec debug options).
int EngineLogLevel();
void SetEngineLogLevel(int level);

// A message that the libraries' own log carries (av_log at `level`).
void LibraryLog(int level, const std::string& text);

// "quiet" ... "debug" (any case) or a decimal number, snapped to the capture's levels.
// A text that is neither raises FFmpegException with the integer conversion error.
int LogLevelOfText(const std::string& text);

}  // namespace kestrel
