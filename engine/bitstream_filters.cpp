// Bitstream filter chains for the next stream of each kind. The filter name is checked
// against the loaded libraries when the option is given; the filter context itself is
// created by stream setup, which knows the stream's codec parameters it needs.
#include "engine/ffmpeg_options.h"
#include "engine/option_values.h"
#include "medialib/av.h"

namespace kestrel {

void TFFmpegOptions::AddBitstreamFilter(const std::string& kind, const std::string& value) {
  if (value.empty() || value[0] == '=') return;
  const size_t equals = value.find('=');
  TBitstreamFilterSpec filter;
  filter.name = equals == std::string::npos ? value : value.substr(0, equals);
  if (equals != std::string::npos) filter.args = value.substr(equals + 1);
  filter.name = TrimText(filter.name);
  if (!av::av_bsf_get_by_name(filter.name.c_str()))
    throw FFmpegException("Unknown bitstream filter " + TrimText(value));
  auto& chain = kind == "vbsf"   ? state_.video_bitstream_filters
                : kind == "absf" ? state_.audio_bitstream_filters
                                 : state_.subtitle_bitstream_filters;
  chain.push_back(filter);
}

}  // namespace kestrel
