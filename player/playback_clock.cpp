// Clocks, the pause toggle and seek requests of a playback context.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>

#include "medialib/av.h"
#include "player/custom_player.h"
#include "player/playback_context.h"

namespace kestrel {

double NowSeconds() {
  return static_cast<double>(NowMicroseconds()) / 1000000.0;
}

std::int64_t NowMicroseconds() {
  using namespace std::chrono;
  return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

double AudioClockOf(const PlaybackContext& ctx) {
  std::lock_guard lock(ctx.ClockMutex);
  const int bytes_per_second = ctx.AudioSampleRate * 2 * ctx.AudioChannels;
  if (bytes_per_second == 0) return ctx.AudioClock;
  const std::int64_t callback_time = ctx.AudioCallbackTime;
  if (callback_time == 0) {
    return ctx.AudioClock -
           static_cast<double>(ctx.AudioBufSize - ctx.AudioBufIndex) / bytes_per_second;
  }
  // The sound handed over in the last callback plays from the callback on: the clock runs
  // with the wall clock through it and stands still once it is used up (silence, pause).
  // Between callbacks it thus moves smoothly instead of in steps of a device buffer.
  const double sound = ctx.AudioSoundAtCallback;
  const double elapsed =
      std::clamp(static_cast<double>(NowMicroseconds() - callback_time) / 1e6, 0.0, sound);
  return ctx.AudioClockAtCallback - sound + elapsed;
}

double VideoClockOf(const PlaybackContext& ctx) {
  std::lock_guard lock(ctx.ClockMutex);
  if (ctx.Paused) return ctx.VideoCurrentPTS;
  // Between two pictures the clock runs on from the one shown, but never past where the
  // next one belongs: a late picture would otherwise make it step back.
  if (ctx.VideoCurrentDrift != 0) {
    return std::min(NowSeconds() + ctx.VideoCurrentDrift, ctx.VideoCurrentPTS + ctx.FrameDuration);
  }
  return static_cast<double>(ctx.StartTime) / 1000000.0;
}

double MasterClockOf(const PlaybackContext& ctx) {
  return ctx.AudioStream >= 0 ? AudioClockOf(ctx) : VideoClockOf(ctx);
}

double SoundLagBehind(const PlaybackContext& ctx, double pts) {
  if (ctx.AudioStream < 0) return 0;
  {
    std::lock_guard lock(ctx.ClockMutex);
    if (!(ctx.AudioSoundAtCallback > 0)) return 0;
  }
  const double lag = pts - AudioClockOf(ctx);
  return std::fabs(lag) < kNoSyncThreshold ? lag : 0;
}

void TogglePause(PlaybackContext& ctx) {
  TCustomPlayer& player = *ctx.Player;
  if (!player.SeekDoneEvent().WaitFor(std::chrono::milliseconds(250))) player.SeekDoneEvent().Set();
  if (!player.IsOpen()) return;
  if (ctx.Paused) {
    std::lock_guard lock(ctx.ClockMutex);
    const double now = NowSeconds();
    ctx.FrameTimer += now + ctx.VideoCurrentDrift - ctx.VideoCurrentPTS;
    if (ctx.ReadPauseResult != AVERROR(ENOSYS)) ctx.VideoCurrentPTS = ctx.VideoCurrentDrift + now;
    ctx.VideoCurrentDrift = ctx.VideoCurrentPTS - now;
    ctx.Paused = false;
    return;
  }
  if (ctx.VideoStream >= 0) {
    if (!player.FrameReadyEvent().WaitFor(std::chrono::milliseconds(250)))
      player.FrameReadyEvent().Set();
    if (!player.IsOpen()) return;
  }
  std::lock_guard lock(ctx.ClockMutex);
  ctx.Paused = true;
}

void RequestSeek(PlaybackContext& ctx, std::int64_t target, std::int64_t range, int flags) {
  if (ctx.SeekRequest) return;
  TCustomPlayer& player = *ctx.Player;
  player.SetSeeking(true);
  ctx.PausedAtSeek = ctx.Paused.load();
  ctx.SeekTarget = target;
  ctx.SeekRange = range;
  ctx.SeekFlags = flags & 15;
  player.SeekDoneEvent().Reset();
  ctx.SeekRequest = true;
}

}  // namespace kestrel
