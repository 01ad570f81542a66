#include "player/subtitles.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "medialib/av.h"
#include "player/playback_context.h"

namespace kestrel {
namespace {

int ShiftKeepingSign(int value) {
  return value >> 10;
}  // arithmetic: the sign is kept

std::uint8_t ClipByte(int value) {
  return static_cast<std::uint8_t>(std::clamp(value, 0, 255));
}

void ConvertPalettes(AVSubtitle& subtitle) {
  for (unsigned i = 0; i < subtitle.num_rects; ++i) {
    AVSubtitleRect* rect = subtitle.rects[i];
    if (rect->type != SUBTITLE_BITMAP || !rect->data[1]) continue;
    auto* palette = reinterpret_cast<std::uint32_t*>(rect->data[1]);
    for (int j = 0; j < rect->nb_colors; ++j) palette[j] = RgbaToYuva(palette[j]);
  }
}

void FreeQueued(QueuedSubtitle& entry) {
  av::avsubtitle_free(&entry.Subtitle);
  entry = QueuedSubtitle{};
}

void DropFirst(PlaybackContext& ctx) {
  FreeQueued(ctx.SubtitleQueue[ctx.SubtitleRead]);
  ctx.SubtitleRead = (ctx.SubtitleRead + 1) % kSubtitleQueueSize;
  --ctx.SubtitleSize;
  ctx.SubtitleCond.notify_all();
}

// False when the queue was aborted while waiting for room.
bool QueueSubtitle(PlaybackContext& ctx, const AVSubtitle& subtitle, double pts) {
  std::unique_lock lock(ctx.SubtitleMutex);
  ctx.SubtitleCond.wait(
      lock, [&] { return ctx.SubtitleSize < kSubtitleQueueSize || ctx.SubtitleQ.Aborted(); });
  if (ctx.SubtitleQ.Aborted()) return false;
  QueuedSubtitle& entry = ctx.SubtitleQueue[ctx.SubtitleWrite];
  entry.PTS = pts;
  entry.Subtitle = subtitle;
  ctx.SubtitleWrite = (ctx.SubtitleWrite + 1) % kSubtitleQueueSize;
  ++ctx.SubtitleSize;
  return true;
}

void DecodeSubtitle(PlaybackContext& ctx, AVPacket* packet) {
  AVSubtitle subtitle{};
  int got = 0;
  if (av::avcodec_decode_subtitle2(ctx.SubtitleDec, &subtitle, &got, packet) < 0 || !got) return;
  const double pts =
      packet->pts != AV_NOPTS_VALUE ? packet->pts * av_q2d(ctx.SubtitleSt->time_base) : 0;
  if (subtitle.format != 0) {
    av::avsubtitle_free(&subtitle);
    return;
  }
  ConvertPalettes(subtitle);
  if (!QueueSubtitle(ctx, subtitle, pts)) av::avsubtitle_free(&subtitle);
}

}  // namespace

std::uint32_t RgbaToYuva(std::uint32_t argb) {
  const int a = (argb >> 24) & 0xff;
  const int r = (argb >> 16) & 0xff;
  const int g = (argb >> 8) & 0xff;
  const int b = argb & 0xff;
  const int y = (263 * r + 517 * g + 101 * b + 16896) >> 10;
  const int cb = ShiftKeepingSign(-152 * r - 298 * g + 450 * b + 511) + 128;
  const int cr = ShiftKeepingSign(450 * r - 377 * g - 74 * b + 511) + 128;
  return (static_cast<std::uint32_t>(a) << 24) | (static_cast<std::uint32_t>(ClipByte(y)) << 16) |
         (static_cast<std::uint32_t>(ClipByte(cb)) << 8) | ClipByte(cr);
}

void BlendSubtitleRect(AVFrame* picture, const AVSubtitleRect& rect) {
  if (!rect.data[0] || !rect.data[1]) return;
  const auto* palette = reinterpret_cast<const std::uint32_t*>(rect.data[1]);
  const int x0 = std::max(0, rect.x);
  const int y0 = std::max(0, rect.y);
  const int x1 = std::min(picture->width, rect.x + rect.w);
  const int y1 = std::min(picture->height, rect.y + rect.h);
  if (x0 >= x1 || y0 >= y1) return;
  auto colour = [&](int x, int y) {
    return palette[rect.data[0][(y - rect.y) * rect.linesize[0] + (x - rect.x)]];
  };
  for (int y = y0; y < y1; ++y) {
    std::uint8_t* luma = picture->data[0] + y * picture->linesize[0];
    for (int x = x0; x < x1; ++x) {
      const std::uint32_t c = colour(x, y);
      const int a = c >> 24;
      luma[x] = static_cast<std::uint8_t>(((255 - a) * luma[x] + a * ((c >> 16) & 0xff)) / 255);
    }
  }
  for (int cy = y0 / 2; cy <= (y1 - 1) / 2; ++cy) {
    for (int cx = x0 / 2; cx <= (x1 - 1) / 2; ++cx) {
      int n = 0, alpha = 0, u = 0, v = 0;
      for (int y = 2 * cy; y < 2 * cy + 2; ++y) {
        for (int x = 2 * cx; x < 2 * cx + 2; ++x) {
          if (x < x0 || x >= x1 || y < y0 || y >= y1) continue;
          const std::uint32_t c = colour(x, y);
          ++n;
          alpha += c >> 24;
          u += (c >> 8) & 0xff;
          v += c & 0xff;
        }
      }
      const int s = n == 4 ? 2 : n == 2 ? 1 : 0;
      alpha >>= 2;
      std::uint8_t* pu = picture->data[1] + cy * picture->linesize[1] + cx;
      std::uint8_t* pv = picture->data[2] + cy * picture->linesize[2] + cx;
      *pu = static_cast<std::uint8_t>((((*pu) << s) * (255 - alpha) + u * alpha) / (255 << s));
      *pv = static_cast<std::uint8_t>((((*pv) << s) * (255 - alpha) + v * alpha) / (255 << s));
    }
  }
}

void SubtitleThreadMain(PlaybackContext* context) {
  PlaybackContext& ctx = *context;
  for (;;) {
    while (ctx.Paused && !ctx.SubtitleQ.Aborted() && !ctx.PausedAtSeek) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    AVPacket* packet = nullptr;
    if (ctx.SubtitleQ.Get(&packet, true) < 0) break;
    if (IsFlushPacket(packet)) {
      av::avcodec_flush_buffers(ctx.SubtitleDec);
    } else {
      DecodeSubtitle(ctx, packet);
    }
    av::av_packet_free(&packet);
  }
}

void FreeSubtitleQueue(PlaybackContext& ctx) {
  std::lock_guard lock(ctx.SubtitleMutex);
  for (QueuedSubtitle& entry : ctx.SubtitleQueue) FreeQueued(entry);
  ctx.SubtitleSize = ctx.SubtitleRead = ctx.SubtitleWrite = 0;
  ctx.SubtitleCond.notify_all();
}

void BlendDueSubtitle(PlaybackContext& ctx, AVFrame* picture, double pts) {
  if (ctx.SubtitleStream < 0) return;
  std::lock_guard lock(ctx.SubtitleMutex);
  if (ctx.SubtitleSize == 0) return;
  const QueuedSubtitle& entry = ctx.SubtitleQueue[ctx.SubtitleRead];
  if (pts < entry.PTS + entry.Subtitle.start_display_time / 1000.0) return;
  for (unsigned i = 0; i < entry.Subtitle.num_rects; ++i) {
    if (entry.Subtitle.rects[i]->type == SUBTITLE_BITMAP) {
      BlendSubtitleRect(picture, *entry.Subtitle.rects[i]);
    }
  }
}

void RefreshSubtitles(PlaybackContext& ctx) {
  if (ctx.SubtitleStream < 0) return;
  if (ctx.SubtitleStreamChanged.exchange(false)) {
    FreeSubtitleQueue(ctx);
    return;
  }
  double current;
  {
    std::lock_guard clock(ctx.ClockMutex);
    current = ctx.VideoCurrentPTS;
  }
  std::lock_guard lock(ctx.SubtitleMutex);
  if (ctx.SubtitleSize == 0) return;
  const QueuedSubtitle& first = ctx.SubtitleQueue[ctx.SubtitleRead];
  const QueuedSubtitle* second =
      ctx.SubtitleSize > 1 ? &ctx.SubtitleQueue[(ctx.SubtitleRead + 1) % kSubtitleQueueSize]
                           : nullptr;
  if (current > first.PTS + first.Subtitle.end_display_time / 1000.0 ||
      (second && current > second->PTS + second->Subtitle.start_display_time / 1000.0)) {
    DropFirst(ctx);
  }
}

}  // namespace kestrel
