#include "engine/engine_log.h"

#include <atomic>
#include <cstdio>
#include <mutex>

#include "engine/ffmpeg_exception.h"
#include "engine/option_values.h"
#include "medialib/av.h"
#include "medialib/library_loader.h"

namespace kestrel {
namespace {

std::mutex sink_mutex;
TEngineLogSink sink;  // guarded by sink_mutex
std::atomic<int> builtin_level{AV_LOG_INFO};

TEngineLogSink CurrentSink() {
  std::lock_guard<std::mutex> lock(sink_mutex);
  return sink;
}

// The capture's filter: verbose status lines pass at every level except quiet, and
// quiet messages always pass.
bool Passes(int capture_level, int level) {
  if (level <= AV_LOG_QUIET) return true;
  if (level == AV_LOG_VERBOSE) return capture_level > AV_LOG_QUIET;
  return capture_level >= level;
}

int SnapLevel(long long level) {
  if (level <= AV_LOG_QUIET) return AV_LOG_QUIET;
  if (level >= AV_LOG_DEBUG) return AV_LOG_DEBUG;
  return static_cast<int>(level / 8) * 8;
}

}  // namespace

void SetEngineLogSink(TEngineLogSink new_sink) {
  std::lock_guard<std::mutex> lock(sink_mutex);
  sink = std::move(new_sink);
}

void EngineLog(const void* sender, int level, const std::string& text) {
  const TEngineLogSink current = CurrentSink();
  if (current.message) {
    current.message(sender, level, text);
    return;
  }
  if (Passes(EngineLogLevel(), level)) std::fprintf(stderr, "%s\n", text.c_str());
}

int EngineLogLevel() {
  const TEngineLogSink current = CurrentSink();
  return current.get_level ? current.get_level() : builtin_level.load();
}

void SetEngineLogLevel(int level) {
  const TEngineLogSink current = CurrentSink();
  if (current.set_level) {
    current.set_level(level);
    return;
  }
  builtin_level = level;
  if (IsLibLoaded(liAVUtil) && av::av_log_set_level) av::av_log_set_level(level);
}

void LibraryLog(int level, const std::string& text) {
  if (IsLibLoaded(liAVUtil) && av::av_log) av::av_log(nullptr, level, "%s", text.c_str());
}

int ParseLogLevelText(const std::string& text) {
  static const struct {
    const char* name;
    int level;
  } kNames[] = {{"quiet", AV_LOG_QUIET},     {"panic", AV_LOG_PANIC},     {"fatal", AV_LOG_FATAL},
                {"error", AV_LOG_ERROR},     {"warning", AV_LOG_WARNING}, {"info", AV_LOG_INFO},
                {"verbose", AV_LOG_VERBOSE}, {"debug", AV_LOG_DEBUG}};
  for (const auto& entry : kNames)
    if (SameTextIgnoringCase(text, entry.name)) return entry.level;
  return SnapLevel(OptionInt64(text));
}

}  // namespace kestrel
