#include "engine/filter_graph.h"

#include <vector>

#include "engine/ffmpeg_exception.h"
#include "engine/option_values.h"
#include "medialib/text_utils.h"

namespace kestrel {
namespace {

[[noreturn]] void RaiseFilterError(int code) {
  if (code < 0) throw FFmpegException("Error opening filters: " + ErrorText(code));
  throw FFmpegException("Error opening filters!");
}

// A "crop" with four plain values takes them as left:top:width:height (the order the hosts
// write); the library's crop reads width:height:x:y, so the values are put in its order.
std::string CropInLibraryOrder(const std::string& filter) {
  const std::string name = "crop=";
  if (filter.compare(0, name.size(), name) != 0) return filter;
  const std::string args = filter.substr(name.size());
  if (args.find('=') != std::string::npos) return filter;
  std::vector<std::string> values;
  size_t pos = 0;
  while (true) {
    const size_t end = args.find(':', pos);
    values.push_back(args.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
    if (end == std::string::npos) break;
    pos = end + 1;
  }
  if (values.size() != 4) return filter;
  return name + values[2] + ":" + values[3] + ":" + values[0] + ":" + values[1];
}

}  // namespace

std::string LibraryFilterText(const std::string& text) {
  std::string result;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find(',', pos);
    if (end == std::string::npos) end = text.size();
    if (!result.empty() || pos > 0) result += ",";
    result += CropInLibraryOrder(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return result;
}

namespace {

// The chain between the source and the sink: crop, scale, the user's text, the format.
std::string ChainText(const TVideoGraphShape& shape) {
  std::string chain;
  auto add = [&chain](const std::string& filter) {
    if (!chain.empty()) chain += ",";
    chain += filter;
  };
  const int cropped_w = shape.in_width - shape.crop_left - shape.crop_right;
  const int cropped_h = shape.in_height - shape.crop_top - shape.crop_bottom;
  if (shape.deinterlace) add("yadif");
  if (shape.crop_top || shape.crop_bottom || shape.crop_left || shape.crop_right)
    add(FormatText("crop=%d:%d:%d:%d", cropped_w, cropped_h, shape.crop_left, shape.crop_top));
  if (cropped_w != shape.out_width || cropped_h != shape.out_height)
    add(FormatText("scale=%d:%d:flags=0x%X", shape.out_width, shape.out_height, shape.sws_flags));
  if (!shape.user_filters.empty()) add(LibraryFilterText(shape.user_filters));
  add(std::string("format=pix_fmts=") + av::av_get_pix_fmt_name(shape.out_format));
  return chain;
}

}  // namespace

TVideoFilterGraph::TVideoFilterGraph(const TVideoGraphShape& shape) : shape_(shape) {
  graph_ = av::avfilter_graph_alloc();
  if (!graph_) RaiseFilterError(0);
  try {
    graph_->scale_sws_opts = av::av_strdup(FormatText("flags=0x%X", shape.sws_flags).c_str());
    AVRational sar = shape.in_sar.num > 0 ? shape.in_sar : AVRational{1, 1};
    std::string args =
        FormatText("video_size=%dx%d:pix_fmt=%d:time_base=1/%d:pixel_aspect=%d/%d", shape.in_width,
                   shape.in_height, shape.in_format, AV_TIME_BASE, sar.num, sar.den);
    if (shape.frame_rate.num > 0 && shape.frame_rate.den > 0)
      args += FormatText(":frame_rate=%d/%d", shape.frame_rate.num, shape.frame_rate.den);
    int ret = av::avfilter_graph_create_filter(&source_, av::avfilter_get_by_name("buffer"), "src",
                                               args.c_str(), nullptr, graph_);
    if (ret < 0) RaiseFilterError(ret);
    ret = av::avfilter_graph_create_filter(&sink_, av::avfilter_get_by_name("buffersink"), "out",
                                           nullptr, nullptr, graph_);
    if (ret < 0) RaiseFilterError(ret);
    AVFilterInOut* outputs = av::avfilter_inout_alloc();
    AVFilterInOut* inputs = av::avfilter_inout_alloc();
    if (!outputs || !inputs) {
      av::avfilter_inout_free(&outputs);
      av::avfilter_inout_free(&inputs);
      RaiseFilterError(AVERROR(ENOMEM));
    }
    outputs->name = av::av_strdup("in");
    outputs->filter_ctx = source_;
    inputs->name = av::av_strdup("out");
    inputs->filter_ctx = sink_;
    ret =
        av::avfilter_graph_parse_ptr(graph_, ChainText(shape).c_str(), &inputs, &outputs, nullptr);
    av::avfilter_inout_free(&outputs);
    av::avfilter_inout_free(&inputs);
    if (ret < 0) RaiseFilterError(ret);
    ret = av::avfilter_graph_config(graph_, nullptr);
    if (ret < 0) RaiseFilterError(ret);
  } catch (...) {
    av::avfilter_graph_free(&graph_);
    throw;
  }
}

TVideoFilterGraph::~TVideoFilterGraph() {
  av::avfilter_graph_free(&graph_);
}

int TVideoFilterGraph::Width() const {
  return av::av_buffersink_get_w(sink_);
}
int TVideoFilterGraph::Height() const {
  return av::av_buffersink_get_h(sink_);
}
AVRational TVideoFilterGraph::SampleAspect() const {
  return av::av_buffersink_get_sample_aspect_ratio(sink_);
}

int TVideoFilterGraph::Push(AVFrame* frame, int64_t pts_us) {
  if (!frame) return av::av_buffersrc_add_frame_flags(source_, nullptr, 0);
  frame->pts = pts_us;
  return av::av_buffersrc_add_frame_flags(source_, frame, AV_BUFFERSRC_FLAG_KEEP_REF);
}

int TVideoFilterGraph::Pull(AVFrame* frame) {
  const int ret = av::av_buffersink_get_frame(sink_, frame);
  if (ret >= 0 && frame->pts != AV_NOPTS_VALUE)
    frame->pts = av::av_rescale_q(frame->pts, av::av_buffersink_get_time_base(sink_),
                                  AVRational{1, AV_TIME_BASE});
  return ret;
}

}  // namespace kestrel
