#include "engine/engine_log.h"

#include "engine/ffmpeg_exception.h"
#include "engine/option_values.h"
#include "medialib/av.h"
#include "medialib/library_loader.h"
#include "medialib/media_logger.h"

namespace kestrel {

void EngineLog(const void* sender, int level, const std::string& text) {
  MediaLogger().Log(sender, LogLevelFromLibrary(level), text);
}

bool EngineLogPasses(int level) {
  return MediaLogger().Passes(LogLevelFromLibrary(level));
}

int EngineLogLevel() {
  return LibraryLevelOf(MediaLogger().LogLevel());
}

void SetEngineLogLevel(int level) {
  MediaLogger().SetLogLevel(LogLevelFromLibrary(level));
}

void LibraryLog(int level, const std::string& text) {
  if (IsLibLoaded(liAVUtil) && av::av_log) av::av_log(nullptr, level, "%s", text.c_str());
}

int LogLevelOfText(const std::string& text) {
  int level = 0;
  if (!ParseLogLevelText(text, &level))
    throw FFmpegException(FormatText("'%s' is not a valid integer value", text.c_str()));
  return LibraryLevelOf(LogLevelFromLibrary(level));
}

}  // namespace kestrel
