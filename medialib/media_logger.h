// The process-wide log capture of the media components.
//
// All diagnostic text of the media libraries and of the engine, probe and player goes to
// the one TMediaLogger. Library output is assembled into whole lines per thread and
// prefixed "[item name @ ADDRESS]" when it comes with a context; engine messages are
// filtered by the logger's level. Each line reaches the OnLog handler, on the main thread
// (through CallInMainThread) when TriggerEventInMainThread is set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kestrel {

enum TLogLevel : int { llQuiet, llPanic, llFatal, llError, llWarning, llInfo, llVerbose, llDebug };

// The libraries' numeric level of a TLogLevel: llQuiet -8, llPanic 0, ... llDebug 48.
int LibraryLevelOf(TLogLevel level);
// Back from a library level: <= -8 llQuiet, >= 48 llDebug, else the level of its band of
// eight (-7..7 llPanic, 8..15 llFatal, ..., 40..47 llVerbose).
TLogLevel LogLevelFromLibrary(int library_level);
// A "loglevel" text: "quiet", "panic", "fatal", "error", "warning", "info", "verbose",
// "debug" (any case) or a decimal integer, as a library level. False when it is neither.
bool ParseLogLevelText(const std::string& text, int* library_level);
// The level the libraries' output is filtered by (initially 32, info).
int LibraryLogLevel();

// The longest library message kept; longer ones are cut.
constexpr std::size_t kLibraryMessageLimit = 2047;

// The id of the calling thread as the log reports it (the kernel's thread id).
std::uint32_t CurrentThreadId();

struct TLogInfo {
  const void* sender = nullptr;  // the engine object, or the logger for library lines
  std::uint32_t thread_id = 0;
  TLogLevel level = llInfo;
  std::string message;  // one line, without its line feed
};
using TLogEvent = std::function<void(const TLogInfo& info)>;

class TMediaLogger {
 public:
  // Becomes the process's logger. Throws std::logic_error
  // "Allow creating only one instance of TMediaLogger." when one exists.
  TMediaLogger();
  ~TMediaLogger();
  TMediaLogger(const TMediaLogger&) = delete;
  TMediaLogger& operator=(const TMediaLogger&) = delete;

  // Taken at creation from the library level.
  TLogLevel LogLevel() const;
  // Stores the level and makes level(value) the library level (told to avutil when bound).
  void SetLogLevel(TLogLevel level);
  // The "loglevel" option: false, and nothing changed, for a text ParseLogLevelText refuses.
  bool SetLogLevelText(const std::string& text);

  bool TriggerEventInMainThread() const;  // default true
  void SetTriggerEventInMainThread(bool in_main_thread);

  // Without a handler, messages are dropped after filtering.
  void SetOnLog(TLogEvent handler);

  // An engine message, from any thread. It passes when LogLevel() >= level, when level is
  // llVerbose and LogLevel() is not llQuiet, and always when level is llQuiet.
  void Log(const void* sender, TLogLevel level, const std::string& message);
  // The same, formatted (printf style) only when it passes.
  void LogFormat(const void* sender, TLogLevel level, const char* format, ...)
      __attribute__((format(printf, 4, 5)));
  // True when an engine message at level would pass.
  bool Passes(TLogLevel level) const;

  // A whole line of library output, delivered without further filtering.
  void LibraryLine(std::uint32_t thread_id, TLogLevel level, const std::string& line);

  struct Core;

 private:
  std::shared_ptr<Core> core_;
};

// The process's logger, created on first use when none exists.
TMediaLogger& MediaLogger();

// Makes the capture avutil's log callback and applies the library level. Called by the
// loader once avutil is bound; throws std::logic_error("Assertion failure") when
// av_log_set_callback or av_log_set_level is not bound.
void InstallLogCapture();

}  // namespace kestrel
