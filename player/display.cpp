// The display side of playback: the refresh thread that paces it, the refresh step that
// picks, drops and shows queued pictures, the picture layout and the waveform.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "medialib/av.h"
#include "player/custom_player.h"
#include "player/playback_context.h"
#include "player/subtitles.h"

namespace kestrel {
namespace {

constexpr int kDefaultAreaWidth = 640;
constexpr int kDefaultAreaHeight = 480;
constexpr auto kLongestRefreshSleep = std::chrono::milliseconds(100);

// Sizes the display area: the screen size when the host gave one, else the picture size.
void VideoOpen(PlaybackContext& ctx, bool forced) {
  TCustomPlayer& player = *ctx.Player;
  int width = kDefaultAreaWidth;
  int height = kDefaultAreaHeight;
  if (player.ScreenWidth() > 0) {
    width = player.ScreenWidth();
    height = player.ScreenHeight();
  } else if (ctx.OutputWidth > 0) {
    width = ctx.OutputWidth & ~1;
    height = ctx.OutputHeight & ~1;
  }
  if (!forced && ctx.AreaWidth == width && ctx.AreaHeight == height) return;
  ctx.AreaWidth = width;
  ctx.AreaHeight = height;
}

void Present(PlaybackContext& ctx, std::shared_ptr<const TBitmap> picture, double pts,
             AVRational sample_aspect) {
  VideoSurface* surface = ctx.Player->Surface();
  if (!surface || !picture) return;
  SurfaceFrame frame;
  frame.AreaWidth = ctx.AreaWidth;
  frame.AreaHeight = ctx.AreaHeight;
  const double aspect = DisplayAspect(ctx.Player->AspectRatio(), frame.AreaWidth, frame.AreaHeight,
                                      picture->Width, picture->Height, sample_aspect);
  frame.Target = FitPicture(frame.AreaWidth, frame.AreaHeight, aspect);
  frame.PTS = std::llround(pts * 1000000) - ctx.StartTime;
  frame.Picture = std::move(picture);
  surface->Present(frame);
}

// Converts the overlay of the entry to the picture on screen and shows it.
void DrawPicture(PlaybackContext& ctx, QueuedPicture& entry) {
  auto bitmap = std::make_shared<TBitmap>();
  AVRational sample_aspect;
  {
    std::lock_guard overlay_lock(entry.Lock);
    if (!entry.Overlay) return;
    BlendDueSubtitle(ctx, entry.Overlay, entry.PTS);
    if (!ConvertToBgr(ctx.DisplayScaler, entry.Overlay, *bitmap)) return;
    sample_aspect = entry.SampleAspect;
  }
  {
    std::lock_guard lock(ctx.ShownMutex);
    ctx.Shown = bitmap;
    ctx.ShownPTS = entry.PTS;
    ctx.ShownAspect = sample_aspect;
  }
  Present(ctx, std::move(bitmap), entry.PTS, sample_aspect);
}

// Shows the picture on screen again (paused, exposed, resized).
void Redraw(PlaybackContext& ctx) {
  std::shared_ptr<const TBitmap> picture;
  double pts;
  AVRational sample_aspect;
  {
    std::lock_guard lock(ctx.ShownMutex);
    picture = ctx.Shown;
    pts = ctx.ShownPTS;
    sample_aspect = ctx.ShownAspect;
  }
  Present(ctx, std::move(picture), pts, sample_aspect);
}

// Start of the samples to draw: the ones playing now, aligned on a rising edge.
int WaveformStart(PlaybackContext& ctx, int width, int channels) {
  if (ctx.Paused) return ctx.LastWaveStart;
  int unplayed;
  {
    std::lock_guard lock(ctx.ClockMutex);
    unplayed = ctx.AudioBufSize - ctx.AudioBufIndex;
  }
  std::int64_t delay = unplayed / (2 * channels);
  const std::int64_t callback_time = ctx.AudioCallbackTime;
  if (callback_time) {
    delay -= static_cast<std::int64_t>(ctx.AudioSampleRate) * (NowMicroseconds() - callback_time) /
             1000000;
  }
  delay += 2 * width;
  delay = std::max<std::int64_t>(delay, width);
  const int ring = kSampleRingSize;
  int start = static_cast<int>(((ctx.SampleRingIndex - delay * channels) % ring + ring) % ring);
  auto at = [&](int i) {
    return ctx.SampleRing[((i % ring) + ring) % ring].load(std::memory_order_relaxed);
  };
  int best = INT32_MIN;
  int chosen = start;
  for (int i = 0; i < 1000; i += channels) {
    const int index = start - i;
    const int a = at(index);
    const int b = at(index + 4 * channels);
    const int c = at(index + 5 * channels);
    const int d = at(index + 9 * channels);
    if ((b ^ c) < 0 && a - d > best) {
      best = a - d;
      chosen = ((index % ring) + ring) % ring;
    }
  }
  ctx.LastWaveStart = chosen;
  return chosen;
}

void ShowWaveform(PlaybackContext& ctx) {
  const int width = ctx.AreaWidth;
  const int height = ctx.AreaHeight;
  const int channels = std::max(1, ctx.AudioChannels);
  if (width <= 0 || height <= 0) return;
  const int start = WaveformStart(ctx, width, channels);
  std::vector<std::int16_t> samples(static_cast<std::size_t>(width) * channels);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    samples[i] = ctx.SampleRing[(start + i) % kSampleRingSize].load(std::memory_order_relaxed);
  }
  auto area = std::make_shared<TBitmap>();
  area->Resize(width, height);
  DrawWaveform(*area, samples.data(), static_cast<int>(samples.size()), channels);
  VideoSurface* surface = ctx.Player->Surface();
  if (!surface) return;
  SurfaceFrame frame;
  frame.AreaWidth = width;
  frame.AreaHeight = height;
  frame.Target = TRect{0, 0, width, height};
  frame.Picture = std::move(area);
  frame.Waveform = true;
  surface->Present(frame);
}

// Counts a picture just shown and how far it was from the sound at that moment.
void KeepDisplayStats(PlaybackContext& ctx, double pts) {
  const bool both = ctx.AudioStream >= 0 && ctx.VideoStream >= 0;
  const double audio = both ? AudioClockOf(ctx) : 0;
  const double now = NowSeconds();
  if (ctx.FirstDisplayTime < 0) ctx.FirstDisplayTime = now;

  std::lock_guard lock(ctx.StatsMutex);
  ++ctx.Stats.PicturesShown;
  if (both && !ctx.Paused && now - ctx.FirstDisplayTime > 1.0) {
    const double difference = std::fabs(audio - pts);
    ctx.Stats.MaxAVDifference = std::max(ctx.Stats.MaxAVDifference, difference);
    ++ctx.Stats.PicturesMeasured;
    if (difference > kSyncTolerance) ++ctx.Stats.PicturesOutOfSync;
  }
}

// When the next refresh is due: when the picture at the head of the queue is to be shown,
// else after a short tick that keeps positions and the waveform moving.
std::chrono::steady_clock::time_point NextRefreshTime(PlaybackContext& ctx) {
  const auto now = std::chrono::steady_clock::now();
  const bool waveform = ctx.WaveformDisplay && ctx.VideoStream < 0;
  const auto tick = now + std::chrono::milliseconds(waveform ? 20 : 5);
  if (ctx.VideoStream < 0) return tick;
  std::lock_guard lock(ctx.PictureMutex);
  if (ctx.PictureSize == 0) return tick;
  const auto target =
      std::chrono::microseconds(std::llround(ctx.Pictures[ctx.PictureRead].TargetTime * 1000000.0));
  return std::min(std::chrono::steady_clock::time_point(target), now + kLongestRefreshSleep);
}

// Moves the targets of the queued pictures and of those to come; PictureMutex held.
void MoveSchedule(PlaybackContext& ctx, double by) {
  for (int i = 0; i < ctx.PictureSize; ++i) {
    ctx.Pictures[(ctx.PictureRead + i) % kPictureQueueSize].TargetTime += by;
  }
  std::lock_guard lock(ctx.ClockMutex);
  ctx.FrameTimer += by;
}

void Consume(PlaybackContext& ctx) {
  ctx.PictureRead = (ctx.PictureRead + 1) % kPictureQueueSize;
  --ctx.PictureSize;
  ctx.PictureCond.notify_all();
}

// One pass over the picture queue; false when the next picture is not due yet.
bool RefreshPictures(PlaybackContext& ctx, bool advance, bool& dropped) {
  for (;;) {
    std::unique_lock lock(ctx.PictureMutex);
    if (ctx.PictureSize == 0) {
      lock.unlock();
      if (!advance) Redraw(ctx);
      return true;
    }
    const double now = NowSeconds();
    QueuedPicture& entry = ctx.Pictures[ctx.PictureRead];
    if (now < entry.TargetTime) return false;
    // While sound plays, a due picture is held against it: when the sound is more than
    // the threshold away, the schedule moves to where the sound is. Later when the sound
    // lags (its device runs slow or stalled): the picture waits. Earlier when it is ahead:
    // the picture is shown at once and those after it fall due sooner, or are dropped.
    const double lag = SoundLagBehind(ctx, entry.PTS);
    if (std::fabs(lag) > kSyncThreshold) {
      MoveSchedule(ctx, now + lag - entry.TargetTime);
      if (lag > 0) return false;
    }
    bool drop = false;
    {
      std::lock_guard clock(ctx.ClockMutex);
      ctx.VideoCurrentPTS = entry.PTS;
      ctx.VideoCurrentDrift = entry.PTS - now;
      ctx.VideoCurrentPos = entry.Position;
      const double next_target =
          ctx.PictureSize > 1 ? ctx.Pictures[(ctx.PictureRead + 1) % kPictureQueueSize].TargetTime
                              : entry.TargetTime + ctx.VideoClock - entry.PTS;
      const bool forced = ctx.DropAfterSeek;
      if (forced || (!ctx.CaptureDevice && now > next_target)) {
        ctx.SkipRatio *= 1.05f;
        drop = ctx.PictureSize > 1 || now > next_target + 0.5 || forced;
      }
    }
    if (drop) {
      Consume(ctx);
      dropped = true;
      std::lock_guard stats(ctx.StatsMutex);
      ++ctx.Stats.PicturesDropped;
      continue;
    }
    RefreshSubtitles(ctx);
    lock.unlock();
    DrawPicture(ctx, entry);
    KeepDisplayStats(ctx, entry.PTS);
    if (advance) {
      lock.lock();
      Consume(ctx);
    }
    return true;
  }
}

}  // namespace

TRect FitPicture(int area_width, int area_height, double aspect) {
  if (area_width <= 0 || area_height <= 0 || !(aspect > 0)) return {};
  int height = area_height;
  int width = static_cast<int>(std::lrint(height * aspect)) & ~1;
  if (width > area_width) {
    width = area_width;
    height = static_cast<int>(std::lrint(width / aspect)) & ~1;
  }
  return TRect{(area_width - width) / 2, (area_height - height) / 2, width, height};
}

double DisplayAspect(float aspect_ratio, int area_width, int area_height, int width, int height,
                     AVRational sample_aspect) {
  if (aspect_ratio < 0 && area_width > 0 && area_height > 0) {
    return static_cast<double>(area_width) / area_height;
  }
  if (aspect_ratio > 0) return aspect_ratio;
  double sar = sample_aspect.num > 0 && sample_aspect.den > 0 ? av_q2d(sample_aspect) : 1.0;
  return height > 0 ? sar * width / height : 1.0;
}

void DrawWaveform(TBitmap& area, const std::int16_t* samples, int count, int channels) {
  const int width = area.Width;
  const int band = area.Height / channels;
  auto white = [&](int x, int y) {
    std::uint8_t* p = area.ScanLine(y) + 3 * x;
    p[0] = p[1] = p[2] = 255;
  };
  for (int ch = 0; ch < channels; ++ch) {
    const int centre = ch * band + band / 2;
    for (int x = 0, i = ch; x < width && i < count; ++x, i += channels) {
      const int v = samples[i];
      const int bar = std::abs(v * (band * 9 / 20)) >> 15;
      const int top = v > 0 ? centre - bar : centre;
      for (int y = std::max(0, top); y < std::min(area.Height, top + bar); ++y) white(x, y);
    }
  }
  for (int ch = 1; ch < channels; ++ch) {
    for (int x = 0; x < width; ++x) white(x, ch * band);
  }
}

void RefreshThreadMain(PlaybackContext* context) {
  PlaybackContext& ctx = *context;
  RaiseDisplayPriority("refresh");
  std::unique_lock lock(ctx.RefreshMutex);
  while (!ctx.AbortRequest) {
    if (!ctx.RefreshPending) {
      ctx.RefreshPending = true;
      ctx.Player->PushPlayEvent(PlayEventKind::Refresh, &ctx);
    }
    ctx.RefreshCond.wait(lock, [&] { return !ctx.RefreshPending || ctx.AbortRequest; });
    ctx.RefreshWake = false;
    lock.unlock();
    const auto due = NextRefreshTime(ctx);
    lock.lock();
    ctx.RefreshCond.wait_until(lock, due, [&] { return ctx.RefreshWake || ctx.AbortRequest; });
  }
}

void WakeRefresh(PlaybackContext& ctx) {
  std::lock_guard lock(ctx.RefreshMutex);
  ctx.RefreshWake = true;
  ctx.RefreshCond.notify_all();
}

void FinishRefresh(PlaybackContext& ctx) {
  std::lock_guard lock(ctx.RefreshMutex);
  ctx.RefreshPending = false;
  ctx.RefreshCond.notify_all();
}

void RefreshDisplay(PlaybackContext& ctx, bool advance) {
  bool dropped = false;
  if (ctx.VideoStream >= 0) {
    if (!RefreshPictures(ctx, advance, dropped)) return;
  } else if (ctx.AudioStream >= 0) {
    Display(ctx);
  }
  if (!dropped) ctx.Player->UpdatePosition(ctx);
}

void Display(PlaybackContext& ctx) {
  if (ctx.AreaWidth == 0) VideoOpen(ctx, false);
  if (ctx.AudioStream >= 0 && ctx.WaveformDisplay) {
    ShowWaveform(ctx);
  } else if (ctx.VideoStream >= 0) {
    Redraw(ctx);
  }
}

void OpenDisplayArea(PlaybackContext& ctx, bool forced) {
  VideoOpen(ctx, forced);
}

}  // namespace kestrel
