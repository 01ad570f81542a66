// The two-entry picture queue between the video thread and the display, and the target
// display time of each queued picture against the master clock.
#include <algorithm>
#include <cmath>

#include "medialib/av.h"
#include "player/custom_player.h"
#include "player/playback_context.h"

namespace kestrel {
namespace {

// The wall-clock time at which a picture is to be shown: pictures follow one another at
// their own pace (the frame timer). The display keeps that schedule in step with the sound
// when the pictures fall due (RefreshDisplay).
double TargetTime(PlaybackContext& ctx, double pts) {
  std::lock_guard lock(ctx.ClockMutex);
  double delay = pts - ctx.FrameLastPTS;
  if (delay <= 0 || delay >= 10) {
    delay = ctx.FrameLastDelay;
  } else {
    ctx.FrameLastDelay = delay;
  }
  ctx.FrameLastPTS = pts;
  ctx.FrameTimer += delay;
  return ctx.FrameTimer;
}

bool NeedsAllocation(const PlaybackContext& ctx, const QueuedPicture& entry) {
  return !entry.Overlay || entry.Width != (ctx.OutputWidth & ~1) ||
         entry.Height != (ctx.OutputHeight & ~1);
}

}  // namespace

int QueuePicture(PlaybackContext& ctx, AVFrame* frame, double pts, std::int64_t pos) {
  QueuedPicture* entry;
  {
    std::unique_lock lock(ctx.PictureMutex);
    if (ctx.PictureSize >= kPictureQueueSize && !ctx.RefreshPending) {
      std::lock_guard clock(ctx.ClockMutex);
      ctx.SkipRatio = std::max(0.95f, ctx.SkipRatio * 0.95f);
    }
    ctx.PictureCond.wait(
        lock, [&] { return ctx.PictureSize < kPictureQueueSize || ctx.VideoQ.Aborted(); });
    if (ctx.VideoQ.Aborted()) return -1;
    entry = &ctx.Pictures[ctx.PictureWrite];
    if (NeedsAllocation(ctx, *entry)) {
      entry->Allocated = false;
      ctx.Player->PushPlayEvent(PlayEventKind::Allocate, &ctx);
      ctx.PictureCond.wait(lock, [&] { return entry->Allocated || ctx.VideoQ.Aborted(); });
      if (ctx.VideoQ.Aborted()) return -1;
    }
  }
  {
    std::lock_guard overlay_lock(entry->Lock);
    if (entry->Overlay) {
      av::av_image_copy(entry->Overlay->data, entry->Overlay->linesize,
                        const_cast<const uint8_t**>(frame->data), frame->linesize,
                        AV_PIX_FMT_YUV420P, entry->Width, entry->Height);
      entry->SampleAspect = frame->sample_aspect_ratio;
      ctx.Player->RunHook(ctx, entry->Overlay, pts);
    }
  }
  entry->PTS = pts;
  entry->Position = pos;
  std::lock_guard lock(ctx.PictureMutex);
  entry->TargetTime = TargetTime(ctx, pts);
  ctx.PictureWrite = (ctx.PictureWrite + 1) % kPictureQueueSize;
  ++ctx.PictureSize;
  WakeRefresh(ctx);
  return 0;
}

void AllocatePicture(PlaybackContext& ctx) {
  const int width = ctx.OutputWidth & ~1;
  const int height = ctx.OutputHeight & ~1;
  std::unique_lock lock(ctx.PictureMutex);
  QueuedPicture& entry = ctx.Pictures[ctx.PictureWrite];
  {
    std::lock_guard overlay_lock(entry.Lock);
    av::av_frame_free(&entry.Overlay);
    entry.Width = entry.Height = 0;
    AVFrame* overlay = av::av_frame_alloc();
    if (overlay && width > 0 && height > 0) {
      overlay->format = AV_PIX_FMT_YUV420P;
      overlay->width = width;
      overlay->height = height;
      if (av::av_frame_get_buffer(overlay, 0) < 0) av::av_frame_free(&overlay);
    } else {
      av::av_frame_free(&overlay);
    }
    entry.Overlay = overlay;
    if (overlay) {
      entry.Width = width;
      entry.Height = height;
    }
  }
  entry.Allocated = true;
  ctx.PictureCond.notify_all();
}

void FreePictures(PlaybackContext& ctx) {
  std::lock_guard lock(ctx.PictureMutex);
  for (QueuedPicture& entry : ctx.Pictures) {
    std::lock_guard overlay_lock(entry.Lock);
    av::av_frame_free(&entry.Overlay);
    entry.Width = entry.Height = 0;
    entry.Allocated = false;
  }
}

}  // namespace kestrel
