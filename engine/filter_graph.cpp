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
std::string ChainText(const TVideoGraphSpec& spec) {
  std::string chain;
  auto add = [&chain](const std::string& filter) {
    if (!chain.empty()) chain += ",";
    chain += filter;
  };
  const int cropped_w = spec.in_width - spec.crop_left - spec.crop_right;
  const int cropped_h = spec.in_height - spec.crop_top - spec.crop_bottom;
  if (spec.deinterlace) add("yadif");
  if (spec.crop_top || spec.crop_bottom || spec.crop_left || spec.crop_right)
    add(FormatText("crop=%d:%d:%d:%d", cropped_w, cropped_h, spec.crop_left, spec.crop_top));
  if (cropped_w != spec.out_width || cropped_h != spec.out_height)
    add(FormatText("scale=%d:%d:flags=0x%X", spec.out_width, spec.out_height, spec.sws_flags));
  if (!spec.user_filters.empty()) add(LibraryFilterText(spec.user_filters));
  add(std::string("format=pix_fmts=") + av::av_get_pix_fmt_name(spec.out_format));
  return chain;
}

}  // namespace

TVideoFilterGraph::TVideoFilterGraph(const TVideoGraphSpec& spec) : spec_(spec) {
  graph_ = av::avfilter_graph_alloc();
  if (!graph_) RaiseFilterError(0);
  try {
    graph_->scale_sws_opts = av::av_strdup(FormatText("flags=0x%X", spec.sws_flags).c_str());
    AVRational sar = spec.in_sar.num > 0 ? spec.in_sar : AVRational{1, 1};
    std::string args =
        FormatText("video_size=%dx%d:pix_fmt=%d:time_base=1/%d:pixel_aspect=%d/%d", spec.in_width,
                   spec.in_height, spec.in_format, AV_TIME_BASE, sar.num, sar.den);
    if (spec.frame_rate.num > 0 && spec.frame_rate.den > 0)
      args += FormatText(":frame_rate=%d/%d", spec.frame_rate.num, spec.frame_rate.den);
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
    ret = av::avfilter_graph_parse_ptr(graph_, ChainText(spec).c_str(), &inputs, &outputs, nullptr);
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
