#include "engine/audio_support.h"

#include "engine/engine_log.h"

namespace kestrel {

void RaiseAudioError(const std::string& text) {
  throw FFmpegException(text);
}

void LogAudioMessage(const AudioLogSink& sink, const void* sender, TLogLevel level,
                     const std::string& text) {
  if (sink)
    sink(level, text);
  else
    EngineLog(sender, LibraryLevelOf(level), text);
}

}  // namespace kestrel
