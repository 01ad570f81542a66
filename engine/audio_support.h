// Error and log plumbing of the audio output path, kept in one place.
//
// The audio path raises the engine's exception type on every failure that ends a task and
// reports diagnostics through a log sink the caller supplies (the transcode loop forwards
// them to the log capture with the task as sender); without a sink they take the engine's
// log route (EngineLog, into the log capture) with the audio output as sender.
#pragma once

#include <functional>
#include <string>

#include "engine/ffmpeg_exception.h"
#include "engine/option_values.h"
#include "medialib/media_logger.h"

namespace kestrel {

// Receives one engine message.
using AudioLogSink = std::function<void(TLogLevel level, const std::string& text)>;

// Raises FFmpegException: every such failure ends the task.
[[noreturn]] void RaiseAudioError(const std::string& text);

// Without a sink: the engine's log route, with `sender` as the sending object.
void LogAudioMessage(const AudioLogSink& sink, const void* sender, TLogLevel level,
                     const std::string& text);

}  // namespace kestrel
