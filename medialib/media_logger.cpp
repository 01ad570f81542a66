#include "medialib/media_logger.h"

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <vector>

#include <strings.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "medialib/av.h"
#include "medialib/main_thread.h"

namespace kestrel {

struct TMediaLogger::Core {
  const void* owner = nullptr;
  std::atomic<TLogLevel> level{llInfo};
  std::atomic<bool> in_main_thread{true};
  std::mutex handler_mutex;
  TLogEvent handler;  // guarded by handler_mutex
};

namespace {

struct LogLevelName {
  const char* name;
  int library_level;
};

constexpr LogLevelName kLogLevelNames[] = {
    {"quiet", AV_LOG_QUIET},     {"panic", AV_LOG_PANIC},     {"fatal", AV_LOG_FATAL},
    {"error", AV_LOG_ERROR},     {"warning", AV_LOG_WARNING}, {"info", AV_LOG_INFO},
    {"verbose", AV_LOG_VERBOSE}, {"debug", AV_LOG_DEBUG},
};

std::atomic<int> library_level{AV_LOG_INFO};

// The current logger's core; the shared pointer keeps it alive for a delivery that is
// under way while the logger is destroyed.
struct Globals {
  std::mutex mutex;
  TMediaLogger* logger = nullptr;            // guarded by mutex
  std::shared_ptr<TMediaLogger::Core> core;  // guarded by mutex
  std::mutex accessor_mutex;                 // serialises creation on demand
  std::unique_ptr<TMediaLogger> on_demand;   // guarded by accessor_mutex
};

Globals& GlobalState() {
  static Globals* globals = new Globals;  // outlives every thread that may still log
  return *globals;
}

std::shared_ptr<TMediaLogger::Core> CurrentCore() {
  Globals& globals = GlobalState();
  std::lock_guard<std::mutex> hold(globals.mutex);
  return globals.core;
}

void Dispatch(TMediaLogger::Core& core, const TLogInfo& info) {
  TLogEvent handler;
  {
    std::lock_guard<std::mutex> hold(core.handler_mutex);
    handler = core.handler;
  }
  if (!handler) return;
  if (core.in_main_thread) {
    CallInMainThread([&] { handler(info); });
  } else {
    handler(info);
  }
}

void DeliverLibraryLine(TMediaLogger::Core& core, std::uint32_t thread_id, TLogLevel level,
                        const std::string& line) {
  Dispatch(core, TLogInfo{core.owner, thread_id, level, line});
}

std::string ContextPrefix(void* context) {
  if (!context) return {};
  const AVClass* av_class = *static_cast<const AVClass* const*>(context);
  if (!av_class) return {};
  const char* item_name = av_class->item_name ? av_class->item_name(context) : nullptr;
  char prefix[256];
  std::snprintf(prefix, sizeof prefix, "[%s @ %0*" PRIXPTR "]", item_name ? item_name : "NULL",
                static_cast<int>(sizeof(void*) * 2), reinterpret_cast<std::uintptr_t>(context));
  return prefix;
}

// Formats one library message into a bounded buffer: a longer message is cut. A cut
// message whose format ends its line still ends it, so the next message starts a new line.
std::string FormatLibraryMessage(const char* format, va_list args) {
  char buffer[kLibraryMessageLimit + 1];
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(buffer, sizeof buffer, format, copy);
  va_end(copy);
  if (length < 0) return {};
  std::string text(buffer, std::min<std::size_t>(length, kLibraryMessageLimit));
  const std::size_t format_length = std::strlen(format);
  if (static_cast<std::size_t>(length) > kLibraryMessageLimit && format_length > 0 &&
      format[format_length - 1] == '\n') {
    text.back() = '\n';
  }
  return text;
}

// Library text of this thread that does not end a line yet.
thread_local std::string pending_text;

// Appends a message to this thread's pending text and takes out the whole lines.
std::vector<std::string> TakeLines(const std::string& prefix, const std::string& text) {
  if (pending_text.empty()) {
    pending_text = prefix + text;
  } else {
    pending_text += text;
  }
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = pending_text.find('\n', start)) != std::string::npos;
       start = end + 1) {
    lines.push_back(pending_text.substr(start, end - start));
  }
  pending_text.erase(0, start);
  return lines;
}

void LibraryLogCallback(void* context, int level, const char* format, va_list args) {
  if (level >= 0) level &= 0xFF;  // the high byte may carry a colour tint
  if (level > library_level || !format) return;
  const std::string text = FormatLibraryMessage(format, args);
  // Lines are taken out before any is delivered: a handler that logs again on this
  // thread then finds a consistent pending text.
  const std::vector<std::string> lines = TakeLines(ContextPrefix(context), text);
  if (lines.empty()) return;
  const std::shared_ptr<TMediaLogger::Core> core = CurrentCore();
  if (!core) return;
  const std::uint32_t thread_id = CurrentThreadId();
  for (const std::string& line : lines) {
    DeliverLibraryLine(*core, thread_id, LogLevelFromLibrary(level), line);
  }
}

void ApplyLibraryLevel(int level) {
  library_level = level;
  if (av::av_log_set_level) av::av_log_set_level(level);
}

}  // namespace

int LibraryLevelOf(TLogLevel level) {
  return (static_cast<int>(level) - 1) * 8;
}

TLogLevel LogLevelFromLibrary(int level) {
  if (level <= AV_LOG_QUIET) return llQuiet;
  if (level >= AV_LOG_DEBUG) return llDebug;
  return static_cast<TLogLevel>(level / 8 + 1);
}

bool ParseLogLevelText(const std::string& text, int* level) {
  for (const LogLevelName& row : kLogLevelNames) {
    if (strcasecmp(text.c_str(), row.name) == 0) {
      *level = row.library_level;
      return true;
    }
  }
  try {
    std::size_t used = 0;
    const int value = std::stoi(text, &used, 10);
    if (used != text.size()) return false;
    *level = value;
    return true;
  } catch (const std::logic_error&) {  // no number, or out of range
    return false;
  }
}

int LibraryLogLevel() {
  return library_level;
}

std::uint32_t CurrentThreadId() {
  return static_cast<std::uint32_t>(syscall(SYS_gettid));
}

TMediaLogger::TMediaLogger() : core_(std::make_shared<Core>()) {
  core_->owner = this;
  core_->level = LogLevelFromLibrary(library_level);
  Globals& globals = GlobalState();
  std::lock_guard<std::mutex> hold(globals.mutex);
  if (globals.logger) throw std::logic_error("Allow creating only one instance of TMediaLogger.");
  globals.logger = this;
  globals.core = core_;
}

TMediaLogger::~TMediaLogger() {
  Globals& globals = GlobalState();
  std::lock_guard<std::mutex> hold(globals.mutex);
  if (globals.logger == this) {
    globals.logger = nullptr;
    globals.core.reset();
  }
}

TLogLevel TMediaLogger::LogLevel() const {
  return core_->level;
}

void TMediaLogger::SetLogLevel(TLogLevel level) {
  core_->level = level;
  ApplyLibraryLevel(LibraryLevelOf(level));
}

bool TMediaLogger::SetLogLevelText(const std::string& text) {
  int level = 0;
  if (!ParseLogLevelText(text, &level)) return false;
  SetLogLevel(LogLevelFromLibrary(level));
  return true;
}

bool TMediaLogger::TriggerEventInMainThread() const {
  return core_->in_main_thread;
}
void TMediaLogger::SetTriggerEventInMainThread(bool in_main_thread) {
  core_->in_main_thread = in_main_thread;
}

void TMediaLogger::SetOnLog(TLogEvent handler) {
  std::lock_guard<std::mutex> hold(core_->handler_mutex);
  core_->handler = std::move(handler);
}

bool TMediaLogger::Passes(TLogLevel level) const {
  const TLogLevel current = core_->level;
  return level == llQuiet || current >= level || (level == llVerbose && current != llQuiet);
}

void TMediaLogger::Log(const void* sender, TLogLevel level, const std::string& message) {
  if (!Passes(level)) return;
  Dispatch(*core_, TLogInfo{sender, CurrentThreadId(), level, message});
}

void TMediaLogger::LogFormat(const void* sender, TLogLevel level, const char* format, ...) {
  if (!Passes(level)) return;
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string message;
  if (length > 0) {
    message.resize(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(message.data(), message.size(), format, args);
    message.resize(static_cast<std::size_t>(length));
  }
  va_end(args);
  Dispatch(*core_, TLogInfo{sender, CurrentThreadId(), level, message});
}

void TMediaLogger::LibraryLine(std::uint32_t thread_id, TLogLevel level, const std::string& line) {
  DeliverLibraryLine(*core_, thread_id, level, line);
}

TMediaLogger& MediaLogger() {
  Globals& globals = GlobalState();
  std::lock_guard<std::mutex> creating(globals.accessor_mutex);
  {
    std::lock_guard<std::mutex> hold(globals.mutex);
    if (globals.logger) return *globals.logger;
  }
  globals.on_demand = std::make_unique<TMediaLogger>();
  return *globals.on_demand;
}

void InstallLogCapture() {
  if (!av::av_log_set_callback || !av::av_log_set_level) {
    throw std::logic_error("Assertion failure");
  }
  av::av_log_set_callback(LibraryLogCallback);
  av::av_log_set_level(library_level);
}

}  // namespace kestrel
