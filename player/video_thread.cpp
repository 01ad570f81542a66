// The video thread: decodes pictures with send/receive, converts them to planar YUV 4:2:0
// through a small filter graph and hands them to the picture queue.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "medialib/av.h"
#include "player/custom_player.h"
#include "player/playback_context.h"
#include "player/player_log.h"

namespace kestrel {
namespace {

constexpr double kUnknownTime = -1e18;

void FreeGraph(PlaybackContext& ctx) {
  av::avfilter_graph_free(&ctx.Graph);
  ctx.GraphSource = ctx.GraphOutput = nullptr;
  ctx.GraphInFormat = -1;
}

// A graph that only converts the decoder's pictures to planar YUV 4:2:0 at their size.
bool BuildGraph(PlaybackContext& ctx, const AVFrame* frame) {
  FreeGraph(ctx);
  ctx.Graph = av::avfilter_graph_alloc();
  if (!ctx.Graph) return false;
  av::av_opt_set(ctx.Graph, "scale_sws_opts", "flags=bicubic", 0);
  const AVRational tb = ctx.VideoSt->time_base;
  AVRational sar = frame->sample_aspect_ratio;
  if (sar.num <= 0 || sar.den <= 0) sar = AVRational{0, 1};
  const std::string args =
      FormatText("video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d", frame->width,
                 frame->height, frame->format, tb.num, tb.den, sar.num, sar.den ? sar.den : 1);
  if (av::avfilter_graph_create_filter(&ctx.GraphSource, av::avfilter_get_by_name("buffer"), "src",
                                       args.c_str(), nullptr, ctx.Graph) < 0 ||
      av::avfilter_graph_create_filter(&ctx.GraphOutput, av::avfilter_get_by_name("buffersink"),
                                       "out", nullptr, nullptr, ctx.Graph) < 0) {
    FreeGraph(ctx);
    return false;
  }
  const AVPixelFormat formats[] = {AV_PIX_FMT_YUV420P};
  if (av::av_opt_set_bin(ctx.GraphOutput, "pix_fmts", reinterpret_cast<const uint8_t*>(formats),
                         sizeof formats, AV_OPT_SEARCH_CHILDREN) < 0 ||
      av::avfilter_link(ctx.GraphSource, 0, ctx.GraphOutput, 0) < 0 ||
      av::avfilter_graph_config(ctx.Graph, nullptr) < 0) {
    FreeGraph(ctx);
    return false;
  }
  ctx.GraphInWidth = frame->width;
  ctx.GraphInHeight = frame->height;
  ctx.GraphInFormat = frame->format;
  ctx.OutputWidth = av::av_buffersink_get_w(ctx.GraphOutput);
  ctx.OutputHeight = av::av_buffersink_get_h(ctx.GraphOutput);
  return true;
}

void HandleFlush(PlaybackContext& ctx) {
  av::avcodec_flush_buffers(ctx.VideoDec);
  ctx.VideoDecoderDrained = false;
  {
    std::unique_lock lock(ctx.PictureMutex);
    for (QueuedPicture& picture : ctx.Pictures) picture.TargetTime = 0;
    WakeRefresh(ctx);
    ctx.PictureCond.wait(lock, [&] { return ctx.PictureSize == 0 || ctx.VideoQ.Aborted(); });
  }
  ctx.FaultyPTS = ctx.FaultyDTS = 0;
  ctx.LastDTSForFault = ctx.LastPTSForFault = INT64_MIN;
  {
    std::lock_guard lock(ctx.ClockMutex);
    ctx.VideoCurrentPos = -1;
    ctx.FrameLastPTS = kUnknownTime;
    ctx.FrameLastDelay = 0;
    ctx.FrameTimer = NowSeconds();
    ctx.SkipRatio = 1;
  }
  ctx.SkipAccumulator = 0;
  ctx.DecoderFlushed = true;
}

// The picture's time in stream units, from the timestamp the decoder passed through or the
// packet's decoding time, whichever has been the more reliable so far.
std::int64_t PictureTimestamp(PlaybackContext& ctx, const AVFrame* frame) {
  if (frame->pkt_dts != AV_NOPTS_VALUE) {
    ctx.FaultyDTS += frame->pkt_dts <= ctx.LastDTSForFault;
    ctx.LastDTSForFault = frame->pkt_dts;
  }
  if (frame->pts != AV_NOPTS_VALUE) {
    ctx.FaultyPTS += frame->pts <= ctx.LastPTSForFault;
    ctx.LastPTSForFault = frame->pts;
  }
  if (frame->pts != AV_NOPTS_VALUE &&
      (ctx.FaultyPTS < ctx.FaultyDTS || frame->pkt_dts == AV_NOPTS_VALUE)) {
    return frame->pts;
  }
  if (frame->pkt_dts != AV_NOPTS_VALUE) return frame->pkt_dts;
  if (frame->pts != AV_NOPTS_VALUE) return frame->pts;
  return 0;
}

// Skips pictures while the display falls behind; true when the picture is to be shown.
bool PassesSkipRatio(PlaybackContext& ctx) {
  float ratio;
  {
    std::lock_guard lock(ctx.ClockMutex);
    ratio = ctx.SkipRatio;
  }
  ctx.SkipAccumulator += 1;
  if (ctx.SkipAccumulator >= ratio) {
    ctx.SkipAccumulator -= std::max(1.0f, ratio);
    return true;
  }
  return false;
}

// 1 with a picture in frame, 0 with none yet, -1 once the queue was aborted.
int GetVideoFrame(PlaybackContext& ctx, AVFrame* frame) {
  for (;;) {
    const int received = av::avcodec_receive_frame(ctx.VideoDec, frame);
    if (received == 0) {
      frame->pts = PictureTimestamp(ctx, frame);
      if (PassesSkipRatio(ctx)) return 1;
      av::av_frame_unref(frame);
      return 0;
    }
    AVPacket* packet = nullptr;
    if (ctx.VideoQ.Get(&packet, true) < 0) return -1;
    if (IsFlushPacket(packet)) {
      av::av_packet_free(&packet);
      HandleFlush(ctx);
      return 0;
    }
    const bool empty = packet->data == nullptr;
    if (empty) {
      if (!ctx.VideoDecoderDrained) av::avcodec_send_packet(ctx.VideoDec, nullptr);
      ctx.VideoDecoderDrained = true;
    } else {
      if (ctx.VideoDecoderDrained) {
        av::avcodec_flush_buffers(ctx.VideoDec);
        ctx.VideoDecoderDrained = false;
      }
      av::avcodec_send_packet(ctx.VideoDec, packet);
    }
    av::av_packet_free(&packet);
    if (empty) {
      if (av::avcodec_receive_frame(ctx.VideoDec, frame) == 0) {
        frame->pts = PictureTimestamp(ctx, frame);
        if (PassesSkipRatio(ctx)) return 1;
        av::av_frame_unref(frame);
      }
      if (!ctx.EndSignalled) ctx.Player->UpdatePosition(ctx);
      return 0;
    }
  }
}

bool WaitWhilePaused(PlaybackContext& ctx) {
  while (ctx.Paused && !ctx.VideoQ.Aborted() && !ctx.PausedAtSeek && ctx.StartPausedCounter == 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return !ctx.VideoQ.Aborted();
}

// Hands one filtered picture on; false when the thread must end.
bool ForwardPicture(PlaybackContext& ctx, AVFrame* picture, double frame_duration) {
  TCustomPlayer& player = *ctx.Player;
  if (ctx.DropAfterSeek && ctx.DecoderFlushed) {
    ctx.DropAfterSeek = false;
    ctx.PausedAtSeek = false;
  }
  double pts = picture->pts == AV_NOPTS_VALUE ? 0 : picture->pts * av_q2d(ctx.VideoSt->time_base);
  {
    std::lock_guard lock(ctx.ClockMutex);
    if (pts != 0) {
      ctx.VideoClock = pts;
    } else {
      pts = ctx.VideoClock;
    }
    ctx.VideoClock += frame_duration + picture->repeat_pict * frame_duration * 0.5;
  }
  if (QueuePicture(ctx, picture, pts, picture->pkt_pos) < 0) return false;
  player.FrameReadyEvent().Set();
  ctx.EndSignalled = false;
  if (player.Seeking() && !ctx.SeekRequest) player.SetSeeking(false);
  if (ctx.StartPausedCounter != 0 && ++ctx.StartPausedCounter > 1) {
    ctx.StartPausedCounter = 0;
    player.SetPlayState(psPause);
  }
  return true;
}

// Pushes a decoded picture through the graph and forwards what comes out.
bool FilterPicture(PlaybackContext& ctx, AVFrame* frame, AVFrame* filtered, double frame_duration) {
  if (!ctx.Graph || frame->width != ctx.GraphInWidth || frame->height != ctx.GraphInHeight ||
      frame->format != ctx.GraphInFormat) {
    if (!BuildGraph(ctx, frame)) {
      PlayerLog(llError, "Cannot configure the video filter graph");
      return false;
    }
  }
  if (av::av_buffersrc_add_frame(ctx.GraphSource, frame) < 0) return false;
  while (av::av_buffersink_get_frame(ctx.GraphOutput, filtered) >= 0) {
    const bool ok = ForwardPicture(ctx, filtered, frame_duration);
    av::av_frame_unref(filtered);
    if (!ok) return false;
  }
  return true;
}

}  // namespace

void VideoThreadMain(PlaybackContext* context) {
  PlaybackContext& ctx = *context;
  AVFrame* frame = av::av_frame_alloc();
  AVFrame* filtered = av::av_frame_alloc();
  const AVRational rate = av::av_guess_frame_rate(ctx.Input, ctx.VideoSt, nullptr);
  const double frame_duration = rate.num > 0 && rate.den > 0 ? av_q2d(av_inv_q(rate)) : 0.04;
  {
    std::lock_guard lock(ctx.ClockMutex);
    ctx.FrameDuration = frame_duration;
  }
  while (frame && filtered && WaitWhilePaused(ctx)) {
    const int got = GetVideoFrame(ctx, frame);
    if (got < 0) break;
    if (got == 0) continue;
    const bool ok = FilterPicture(ctx, frame, filtered, frame_duration);
    av::av_frame_unref(frame);
    if (!ok) break;
  }
  FreeGraph(ctx);
  av::av_frame_free(&frame);
  av::av_frame_free(&filtered);
}

}  // namespace kestrel
