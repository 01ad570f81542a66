// The video path of a run: the host hook on decoded pictures, the filter graph, frame-rate
// synchronisation (duplicating and dropping), encoding and previews.
#include <cmath>
#include <mutex>

#include "engine/engine_log.h"
#include "engine/option_values.h"
#include "engine/transcode.h"
#include "medialib/text_utils.h"

namespace kestrel {
namespace {

constexpr int64_t kPreviewIntervalUs = 100000;

}  // namespace

void TTranscoder::PreProcess(AVFrame* frame, int64_t pts_us) {
  ++decoded_pictures_;
  if (hook_active_) CallHook(frame, pts_us);
}

void TTranscoder::CallHook(AVFrame* frame, int64_t pts_us) {
  if (!hook_picture_.FromFrame(*frame)) {
    Log(AV_LOG_ERROR, "Cannot initialize the toRGB conversion context");
    hook_active_ = false;
    return;
  }
  THookInfo info;
  info.Bitmap = hook_picture_.Picture();
  info.FrameNumber = decoded_pictures_;
  info.PTS = pts_us;
  info.Update = true;
  info.StopHook = false;
  try {
    engine_.hook_(engine_, info);
  } catch (const std::exception& e) {
    Log(AV_LOG_ERROR, std::string("Error occurs OnCustomHook: ") + e.what());
    info.Update = false;
  } catch (...) {
    Log(AV_LOG_ERROR, "Error occurs OnCustomHook: unknown exception");
    info.Update = false;
  }
  if (info.StopHook) hook_active_ = false;
  if (info.Update && !hook_picture_.ToFrame(*frame)) {
    Log(AV_LOG_ERROR, "Cannot initialize the fromRGB conversion context");
    hook_active_ = false;
  }
}

void TTranscoder::FeedVideo(TInputStream& ist, TOutputStream& ost, AVFrame* frame, int64_t pts_us) {
  const TVideoGraphShape& shape = ost.graph->Shape();
  if (frame->width != shape.in_width || frame->height != shape.in_height ||
      frame->format != shape.in_format) {
    // The decoder changed its picture: drain what the old graph holds, then a new one.
    const char* name = av::av_get_pix_fmt_name(static_cast<AVPixelFormat>(frame->format));
    Log(AV_LOG_QUIET, FormatText("Input Stream #%d.%d frame size changed to %dx%d, %s", ist.file,
                                 ist.index, frame->width, frame->height, name ? name : "none"));
    ost.graph->Push(nullptr, 0);
    DrainGraph(ost);
    RebuildVideoGraph(ost, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                      frame->sample_aspect_ratio);
  }
  const int ret = ost.graph->Push(frame, pts_us - options_.start_time_us);
  if (ret < 0) throw FFmpegException(FormatErrorText("Error while feeding the filter graph", ret));
  DrainGraph(ost);
}

// A graph for pictures of another size or format that still gives the encoder its size.
void TTranscoder::RebuildVideoGraph(TOutputStream& ost, int width, int height, AVPixelFormat format,
                                    AVRational sar) {
  const TVideoGraphShape& shape = ost.graph->Shape();
  TOutputStreamSetup& setup = *ost.setup;
  // The crop keeps its proportions (and even values) on the new size.
  auto scale = [](int value, int now, int before) {
    return before > 0 ? (static_cast<int>(static_cast<int64_t>(value) * now / before) & ~1) : 0;
  };
  setup.crop_left = scale(setup.crop_left, width, shape.in_width);
  setup.crop_right = scale(setup.crop_right, width, shape.in_width);
  setup.crop_top = scale(setup.crop_top, height, shape.in_height);
  setup.crop_bottom = scale(setup.crop_bottom, height, shape.in_height);
  setup.width = ost.encoder->width;
  setup.height = ost.encoder->height;
  if (!setup.filters.empty()) {
    // The user's chain decided the encoder size: scale to it after the chain instead.
    if (!ost.filters_rescaled)
      setup.filters += FormatText(",scale=%d:%d", ost.encoder->width, ost.encoder->height);
    ost.filters_rescaled = true;
    setup.width = width - setup.crop_left - setup.crop_right;
    setup.height = height - setup.crop_top - setup.crop_bottom;
  }
  PrepareVideoGraph(ost, width, height, format, sar);
}

void TTranscoder::DrainGraph(TOutputStream& ost) {
  while (!BreakRequested()) {
    const int ret = ost.graph->Pull(filtered_);
    if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return;
    if (ret < 0) throw FFmpegException(FormatErrorText("Error while filtering", ret));
    VideoOut(ost, filtered_, filtered_->pts);
    av::av_frame_unref(filtered_);
  }
}

void TTranscoder::VideoOut(TOutputStream& ost, AVFrame* frame, int64_t pts_us) {
  AVCodecContext* enc = ost.encoder;
  const double sync_ipts = static_cast<double>(pts_us) / AV_TIME_BASE / av_q2d(enc->time_base);
  int64_t nb = 1;
  const int vsync = options_.video_sync_method;
  if (vsync != 0) {
    const double vdelta = sync_ipts - static_cast<double>(ost.sync_position);
    const bool variable =
        vsync == 2 ||
        (vsync == -1 && (files_.outputs[ost.file].context->oformat->flags & AVFMT_VARIABLE_FPS));
    if (vdelta < -1.1) {
      nb = 0;
    } else if (variable) {
      if (vdelta <= -0.6)
        nb = 0;
      else if (vdelta > 0.6)
        ost.sync_position = std::llround(sync_ipts);
    } else if (vdelta > 1.1) {
      nb = std::llround(vdelta);
    }
    if (nb == 0) {
      ++drop_frames_;
      counters_changed_ = true;
      if (options_.verbose > 2) Log(AV_LOG_VERBOSE, "*** drop!");
    } else if (nb > 1) {
      dup_frames_ += nb - 1;
      counters_changed_ = true;
      if (options_.verbose > 2)
        Log(AV_LOG_VERBOSE, FormatText("*** %d dup!", static_cast<int>(nb - 1)));
    }
  } else {
    ost.sync_position = std::llround(sync_ipts);
  }
  nb = std::min<int64_t>(nb, options_.max_video_frames - ost.frames);
  for (int64_t i = 0; i < nb; ++i) {
    CheckPause();
    if (BreakRequested()) return;
    frame->pts = ost.sync_position;
    frame->pict_type = AV_PICTURE_TYPE_NONE;
    if (options_.top_field_first >= 0) {
      frame->interlaced_frame = 1;
      frame->top_field_first = options_.top_field_first;
    }
    EncodeVideo(ost, frame);
    if (preview_flags_) Preview(ost, *frame);
    ++ost.sync_position;
    ++ost.frames;
    ost.out_time_s = ost.sync_position * av_q2d(enc->time_base);
  }
}

void TTranscoder::EncodeVideo(TOutputStream& ost, AVFrame* frame) {
  if (!ost.encoder_open) return;
  const int ret = av::avcodec_send_frame(ost.encoder, frame);
  if (ret < 0 && ret != AVERROR_EOF) throw FFmpegException("Video encoding failed");
  ReceiveEncodedPackets(ost);
}

void TTranscoder::ReceiveEncodedPackets(TOutputStream& ost) {
  // The run's packet is reused for every picture; an error leaves it to the destructor.
  AVPacket* packet = encoded_;
  while (true) {
    av::av_packet_unref(packet);
    const int ret = av::avcodec_receive_packet(ost.encoder, packet);
    if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) break;
    if (ret < 0) throw FFmpegException("Video encoding failed");
    video_bytes_ += packet->size;
    ++ost.coded_frames;
    if (ReadEncodedFrameStats(*packet, &ost.last_stats)) {
      ost.quality = ost.last_stats.quality;
      if (options_.qp_hist) ost.qp_histogram.Add(ost.quality);
      for (size_t j = 0; j < ost.error_sum.size(); ++j) ost.error_sum[j] += ost.last_stats.error[j];
    }
    if (!options_.vstats_filename.empty() && packet->size > 0) WriteVideoStats(ost, packet->size);
    if (ost.pass_log && ost.encoder->stats_out) std::fputs(ost.encoder->stats_out, ost.pass_log);
    av::av_packet_rescale_ts(packet, ost.encoder->time_base, ost.stream->time_base);
    WritePacket(ost, packet);
  }
  av::av_packet_unref(packet);
}

void TTranscoder::WriteVideoStats(const TOutputStream& ost, int frame_size) {
  if (!vstats_) {
    vstats_ = std::fopen(options_.vstats_filename.c_str(), "w");
    if (!vstats_) throw FFmpegException("fopen fail: " + options_.vstats_filename);
  }
  TVideoStatsLine line;
  line.frame = static_cast<int>(ost.coded_frames);
  line.stats = ost.last_stats;
  line.psnr = (ost.encoder->flags & AV_CODEC_FLAG_PSNR) != 0;
  line.width = ost.encoder->width;
  line.height = ost.encoder->height;
  line.frame_size = frame_size;
  line.video_bytes = video_bytes_;
  line.time_s = ost.sync_position * av_q2d(ost.encoder->time_base);
  line.time_base_s = av_q2d(ost.encoder->time_base);
  const std::string text = VideoStatsText(line);
  if (std::fputs(text.c_str(), vstats_) < 0)
    throw FFmpegException("fwrite fail: " + options_.vstats_filename);
}

// The first video stream's part of the progress text: frame, rate, quantiser, "L" on the
// last report, the quantiser histogram and the PSNR figures when asked for.
std::string TTranscoder::VideoReportText(const TOutputStream& ost, bool last) const {
  const float q = ost.encoding ? ost.quality : -1.0f;
  const double seconds = (av::av_gettime_relative() - start_wall_) / 1e6;
  const int fps = seconds > 1 ? static_cast<int>(ost.frames / seconds + 0.5) : 0;
  std::string text = FormatText("frame=%5d fps=%3d q=%3.1f ", static_cast<int>(ost.frames), fps, q);
  if (last) text += "L";
  if (options_.qp_hist && ost.encoding) text += ost.qp_histogram.Text();
  if (ost.encoding && (ost.encoder->flags & AV_CODEC_FLAG_PSNR) && ost.coded_frames > 0 &&
      ost.last_stats.has_error) {
    // Running: the latest picture; at the end: the whole stream.
    if (last)
      text += PsnrText(ost.error_sum, ost.encoder->width, ost.encoder->height, ost.coded_frames);
    else
      text += PsnrText(ost.last_stats.error, ost.encoder->width, ost.encoder->height, 1);
  }
  return text;
}

void TTranscoder::Preview(TOutputStream& ost, const AVFrame& frame) {
  std::lock_guard<std::mutex> lock(TCustomFFmpeg::PreviewLock());
  if (!(engine_.preview_flags_ & kPreviewBitmap) || !engine_.preview_) return;
  const int64_t now = av::av_gettime_relative();
  if (last_preview_ && now - last_preview_ <= kPreviewIntervalUs) return;
  last_preview_ = now;
  if (!preview_picture_.FromFrame(frame)) {
    Log(AV_LOG_ERROR, "Cannot initialize the toRGB conversion context");
    engine_.preview_flags_ &= ~kPreviewBitmap;
    preview_flags_ = engine_.preview_flags_;
    return;
  }
  TPreviewInfo info;
  info.Bitmap = preview_picture_.Picture();
  info.FrameNumber = decoded_pictures_;
  info.PTS = av::av_rescale_q(frame.pts, ost.encoder->time_base, AVRational{1, AV_TIME_BASE});
  engine_.preview_(engine_, info);
}

}  // namespace kestrel
