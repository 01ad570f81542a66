// The filter graph of one video output stream: decoded pictures in (buffer source "src"),
// crop, scale, the user's filter text, and a sink that takes only the encoder's pixel
// format. Timestamps enter in microseconds.
#pragma once

#include <string>

#include "medialib/av.h"

namespace kestrel {

struct TVideoGraphSpec {
  int in_width = 0, in_height = 0;
  AVPixelFormat in_format = AV_PIX_FMT_NONE;
  AVRational in_sar{0, 1};
  AVRational frame_rate{0, 1};
  int crop_top = 0, crop_bottom = 0, crop_left = 0, crop_right = 0;
  int out_width = 0, out_height = 0;  // size before the user's filters
  AVPixelFormat out_format = AV_PIX_FMT_NONE;
  bool deinterlace = false;  // "deinterlace": a deinterlacer first
  std::string user_filters;
  int sws_flags = SWS_BICUBIC;
};

// The user's filter text as the library reads it: a "crop" with four plain values means
// left:top:width:height and is rewritten to the library's width:height:x:y.
std::string LibraryFilterText(const std::string& text);

class TVideoFilterGraph {
 public:
  // Raises FFmpegException "Error opening filters: <reason>" (or "Error opening filters!").
  explicit TVideoFilterGraph(const TVideoGraphSpec& spec);
  ~TVideoFilterGraph();
  TVideoFilterGraph(const TVideoFilterGraph&) = delete;
  TVideoFilterGraph& operator=(const TVideoFilterGraph&) = delete;

  const TVideoGraphSpec& Spec() const { return spec_; }
  // What the sink produces.
  int Width() const;
  int Height() const;
  AVRational SampleAspect() const;
  // The frame stays the caller's (the graph takes its own reference); null marks the end. A
  // negative result is an error code.
  int Push(AVFrame* frame, int64_t pts_us);
  // 0 with a picture whose pts is in microseconds, AVERROR(EAGAIN) or AVERROR_EOF.
  int Pull(AVFrame* frame);

 private:
  TVideoGraphSpec spec_;
  AVFilterGraph* graph_ = nullptr;
  AVFilterContext* source_ = nullptr;
  AVFilterContext* sink_ = nullptr;
};

}  // namespace kestrel
