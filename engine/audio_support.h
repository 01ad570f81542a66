// Error and log plumbing of the audio output path, kept in one place.
//
// The audio path raises the engine's exception type on every failure that ends a task and
// reports diagnostics through a log sink the caller supplies (the transcode loop forwards
// them to the log capture with the task as sender).
#pragma once

#include <functional>
#include <stdexcept>
#include <string>

namespace kestrel::engine {

// Log levels of engine messages, in the order of the log capture's levels.
enum class AudioLogLevel { kQuiet, kPanic, kFatal, kError, kWarning, kInfo, kVerbose, kDebug };

// Receives one engine message. May be empty: messages are then dropped.
using AudioLogSink = std::function<void(AudioLogLevel level, const std::string& text)>;

// Raised for every failure that ends the task.
class AudioOutputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

[[noreturn]] void RaiseAudioError(const std::string& text);

// printf-style formatting into a std::string.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The library's text for an error number.
std::string LibraryErrorText(int error);

}  // namespace kestrel::engine
