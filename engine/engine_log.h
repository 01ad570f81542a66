// The engine's route to the log capture. Every engine message and every library-level
// message the option code emits passes through these functions, so that the whole
// engine is redirected in one place when the process-wide log capture is installed.
//
// Levels are the media libraries' numeric levels (AV_LOG_QUIET -8 ... AV_LOG_DEBUG 48).
#pragma once

#include <functional>
#include <string>

namespace kestrel {

struct TEngineLogSink {
  // An engine message (sender = the engine object), already formatted.
  std::function<void(const void* sender, int level, const std::string& text)> message;
  // The capture's level: read by the engine, changed by "loglevel" and the debug option.
  std::function<int()> get_level;
  std::function<void(int level)> set_level;
};

// Replaces the sink; an empty member falls back to the built-in behaviour (messages
// written to standard error when they pass the level, the level kept here and handed
// to av_log_set_level when the libraries are loaded).
void SetEngineLogSink(TEngineLogSink sink);

void EngineLog(const void* sender, int level, const std::string& text);
int EngineLogLevel();
void SetEngineLogLevel(int level);

// A message that the libraries' own log would carry (av_log at `level`).
void LibraryLog(int level, const std::string& text);

// "quiet" ... "debug" (any case) or a decimal number, snapped to the capture's levels:
// at most -8 is quiet, at least 48 debug, otherwise the level's band of eight.
// A text that is neither raises FFmpegException with the integer conversion error.
int ParseLogLevelText(const std::string& text);

}  // namespace kestrel
