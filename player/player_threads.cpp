// The player's play thread (the display event loop), its event thread (delivery of
// position and state events), position updates and the picture hook.
#include <cmath>
#include <cstdlib>

#include "medialib/av.h"
#include "player/custom_player.h"
#include "player/host_services.h"
#include "player/playback_context.h"
#include "player/player_log.h"

namespace kestrel {

void OpenDisplayArea(PlaybackContext& ctx, bool forced);

void TCustomPlayer::PushPlayEvent(PlayEventKind kind, PlaybackContext* ctx, int width, int height) {
  std::lock_guard lock(play_events_mutex_);
  play_events_.push_back(PlayEvent{kind, ctx, width, height});
  play_events_cond_.notify_one();
}

PlayEvent TCustomPlayer::NextPlayEvent() {
  std::unique_lock lock(play_events_mutex_);
  play_events_cond_.wait(lock, [this] { return !play_events_.empty(); });
  PlayEvent event = play_events_.front();
  play_events_.pop_front();
  return event;
}

// False when the loop ends.
bool TCustomPlayer::HandlePlayEvent(const PlayEvent& event, PlaybackContext& ctx) {
  if (event.Kind == PlayEventKind::Quit || event.Kind == PlayEventKind::QuitRequest) {
    ClosePlayback();
    return false;
  }
  if (event.Context != &ctx) return true;  // left over from an earlier file
  switch (event.Kind) {
    case PlayEventKind::Resize:
      screen_width_ = event.Width;
      screen_height_ = event.Height;
      ctx.AreaWidth = event.Width;
      ctx.AreaHeight = event.Height;
      if (ctx.Paused) RefreshDisplay(ctx, false);
      break;
    case PlayEventKind::Expose:
      if (ctx.Paused) {
        RefreshDisplay(ctx, false);
      } else {
        Display(ctx);
      }
      break;
    case PlayEventKind::Allocate:
      OpenDisplayArea(ctx, false);
      AllocatePicture(ctx);
      break;
    case PlayEventKind::Refresh:
      RefreshDisplay(ctx, true);
      FinishRefresh(ctx);
      break;
    case PlayEventKind::DisplayRequest:
      OpenDisplayArea(ctx, true);
      Display(ctx);
      break;
    default:
      break;
  }
  return true;
}

void TCustomPlayer::PlayThreadMain() {
  RaiseDisplayPriority("play");
  SetPlayState(psPlay);
  try {
    for (;;) {
      const PlayEvent event = NextPlayEvent();
      std::lock_guard lock(player_mutex_);
      auto ctx = Context();
      if (!ctx) {
        StopAudioSubsystem();
        break;
      }
      if (!HandlePlayEvent(event, *ctx)) break;
    }
  } catch (const std::exception& e) {
    PlayerLog(llFatal, std::string("PlayThread Exception: ") + e.what());
    std::lock_guard lock(player_mutex_);
    ClosePlayback();
  }
  SetPlayState(psStop);
  play_thread_done_.Set();
}

namespace {
// Set while a player event handler runs on this thread.
thread_local bool tls_in_event_handler = false;
}  // namespace

bool InEventHandler() {
  return tls_in_event_handler;
}

void TCustomPlayer::EventThreadMain(EventChannel& channel) {
  for (;;) {
    const TPlayerEvent event = channel.ring.Take();
    if (event.Kind == TPlayerEventKind::None) {
      channel.ring.Wait();
      continue;
    }
    if (event.Kind == TPlayerEventKind::EndThread) break;
    if (event.Kind == TPlayerEventKind::Position) {
      TPositionEvent handler;
      {
        std::lock_guard lock(handler_mutex_);
        handler = on_position_;
      }
      if (handler) Deliver([&] { handler(*this, event.Position); });
    } else {
      TPlayStateEvent handler;
      {
        std::lock_guard lock(handler_mutex_);
        handler = on_state_;
      }
      if (handler) Deliver([&] { handler(*this, event.State); });
      if (event.State == psStop) break;
    }
  }
  channel.done.Set();
}

void TCustomPlayer::Deliver(std::function<void()> call) {
  auto guarded = [&call] {
    const bool outer = tls_in_event_handler;
    tls_in_event_handler = true;
    try {
      call();
    } catch (const std::exception& e) {
      PlayerLog(llError, std::string("Error occurs in an event handler: ") + e.what());
    } catch (...) {
      PlayerLog(llError, "Error occurs in an event handler");
    }
    tls_in_event_handler = outer;
  };
  if (trigger_in_main_thread_) {
    CallOnMainThread(guarded);
  } else {
    guarded();
  }
}

void TCustomPlayer::PostPlayerEvent(const TPlayerEvent& event) {
  std::lock_guard lock(channel_mutex_);
  if (channel_) channel_->ring.Post(event);
}

void TCustomPlayer::SetPlayState(TPlayState state) {
  play_state_ = state;
  bool has_handler;
  {
    std::lock_guard lock(handler_mutex_);
    has_handler = static_cast<bool>(on_state_);
  }
  if (has_handler) {
    PostPlayerEvent(TPlayerEvent{TPlayerEventKind::State, state, 0});
  } else if (state == psStop) {
    PostPlayerEvent(TPlayerEvent{TPlayerEventKind::EndThread, state, 0});
  }
}

void TCustomPlayer::UpdatePosition(PlaybackContext& ctx) {
  if (ctx.ImageSequence) return;
  const std::int64_t start = ctx.StartTime;
  const std::int64_t duration = ctx.Duration;
  std::int64_t position;
  if (ctx.VideoStream >= 0) {
    position = std::llround(VideoClockOf(ctx) * 1000000) - start;
  } else if (ctx.AudioStream >= 0) {
    position = std::llround(AudioClockOf(ctx) * 1000000) - start;
    const std::int64_t audio_duration = ctx.AudioDuration;
    if (audio_duration > 0 && audio_duration <= position && duration > position) {
      position = duration;
    }
  } else {
    return;
  }
  if (duration > 0 && duration <= position) {
    position = duration;
    if (position != last_reported_position_) last_reported_position_ = 0;
  }
  // Past the last picture the video clock keeps running: the position stays at the end.
  current_position_ = position;
  const std::int64_t last = last_reported_position_;
  if (last == INT64_MIN || std::llabs(position - last) > 10000) {
    last_reported_position_ = position;
    bool has_handler;
    {
      std::lock_guard lock(handler_mutex_);
      has_handler = static_cast<bool>(on_position_);
    }
    if (has_handler) PostPlayerEvent(TPlayerEvent{TPlayerEventKind::Position, psPlay, position});
  }
  if (!ctx.CaptureDevice && !ctx.EndSignalled && ctx.QueuesDrained) {
    if (ctx.VideoStream >= 0) ctx.EndSignalled = true;
    SetPlayState(psEnd);
  }
}

void TCustomPlayer::RunHook(PlaybackContext& ctx, AVFrame* picture, double pts) {
  if (!hook_) return;
  THookEvent handler;
  {
    std::lock_guard lock(handler_mutex_);
    handler = on_hook_;
  }
  if (!handler) return;
  std::lock_guard lock(hook_converter_mutex_);
  if (!hook_converter_.ToBitmap(picture)) {
    PlayerLog(llError, "Cannot initialize the toRGB conversion context");
    return;
  }
  TBitmap& bitmap = hook_converter_.Bitmap();
  const int width = bitmap.Width;
  const int height = bitmap.Height;
  try {
    handler(*this, bitmap, std::llround(pts * 1000000) - ctx.StartTime);
  } catch (const std::exception& e) {
    PlayerLog(llError, std::string("Error occurs OnHook: ") + e.what());
    return;
  } catch (...) {
    PlayerLog(llError, "Error occurs OnHook: unknown exception");
    return;
  }
  // A handler that resized the bitmap cannot be converted back into the picture.
  if (bitmap.Width != width || bitmap.Height != height ||
      bitmap.Bits.size() != static_cast<std::size_t>(bitmap.Stride) * height) {
    PlayerLog(llError, "Error occurs OnHook: the picture size was changed");
    hook_converter_.Reset();
    return;
  }
  if (!hook_converter_.FromBitmap(picture)) {
    PlayerLog(llError, "Cannot initialize the fromRGB conversion context");
  }
}

}  // namespace kestrel
