// Error and log plumbing of the audio output path, kept in one place.
//
// The audio path raises the engine's exception type on every failure that ends a task and
// reports diagnostics through a log sink the caller supplies (the transcode loop forwards
// them to the log capture with the task as sender); without a sink they go to the log
// capture with the audio output as sender.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>

#include "medialib/media_logger.h"

namespace kestrel::engine {

// Receives one engine message.
using AudioLogSink = std::function<void(TLogLevel level, const std::string& text)>;

// Raised for every failure that ends the task.
class AudioOutputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

[[noreturn]] void RaiseAudioError(const std::string& text);

// printf-style formatting into a std::string.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace kestrel::engine
