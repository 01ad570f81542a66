#include "engine/ffmpeg_options.h"

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "engine/encoder_names.h"
#include "engine/engine_log.h"
#include "engine/option_values.h"
#include "medialib/av.h"

namespace kestrel {

TFFmpegOptions::TFFmpegOptions() : generic_(kBicubicScalerFlags) {}

TFFmpegOptions::~TFFmpegOptions() = default;

void TFFmpegOptions::ResetOptions() {
  state_ = TOptionState{};
  generic_.Reset(state_.sws_flags);
}

TPendingNames TFFmpegOptions::PendingNames() const {
  TPendingNames names;
  names.encoder[AVMEDIA_TYPE_VIDEO] = state_.video_codec_name;
  names.encoder[AVMEDIA_TYPE_AUDIO] = state_.audio_codec_name;
  names.encoder[AVMEDIA_TYPE_SUBTITLE] = state_.subtitle_codec_name;
  names.output_format = state_.file_format;
  return names;
}

bool TFFmpegOptions::SetAVOption(const std::string& name, const std::string& value) {
  return generic_.Set(name, value, PendingNames()) == TSetResult::kSet;
}

// "copy" selects stream copy; any other text names the encoder, which also ends a stream
// copy chosen before (so the last choice wins).
void TFFmpegOptions::SetCodecName(AVMediaType type, const std::string& value) {
  std::string* name = &state_.video_codec_name;
  bool* copy = &state_.video_stream_copy;
  if (type == AVMEDIA_TYPE_AUDIO) {
    name = &state_.audio_codec_name;
    copy = &state_.audio_stream_copy;
  } else if (type == AVMEDIA_TYPE_SUBTITLE) {
    name = &state_.subtitle_codec_name;
    copy = &state_.subtitle_stream_copy;
  }
  name->clear();
  *copy = value == "copy";
  if (!*copy) *name = ResolveEncoderName(value, this);
}

void TFFmpegOptions::SetBitrate(const std::string& name, const std::string& value) {
  if (!SetAVOption(name, value)) return;
  const AVMediaType type = name == "ab" ? AVMEDIA_TYPE_AUDIO : AVMEDIA_TYPE_VIDEO;
  int64_t bit_rate = 0;
  av::av_opt_get_int(const_cast<AVCodecContext*>(generic_.CodecContext(type)), "b", 0, &bit_rate);
  if (bit_rate < 1000)
    EngineLog(this, AV_LOG_WARNING,
              "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not "
              "kbits/s");
}

void TFFmpegOptions::SetCrop(const std::string& name, const std::string& value) {
  const int crop = OptionInt(value);
  if (crop <= 0) return;
  const bool vertical = name == "croptop" || name == "cropbottom";
  int& extent = vertical ? state_.frame_height : state_.frame_width;
  if (crop >= extent)
    throw FFmpegException(std::string(vertical ? "Vertical" : "Horizontal") +
                          " crop dimensions are outside the range of the original image.\n"
                          "Remember to crop first and scale second.");
  EngineLog(this, AV_LOG_WARNING, "CropXXX is deprecated in favor of the crop avfilter");
  if (name == "croptop") state_.crop_top = crop;
  if (name == "cropbottom") state_.crop_bottom = crop;
  if (name == "cropleft") state_.crop_left = crop;
  if (name == "cropright") state_.crop_right = crop;
  extent -= crop;
}

void TFFmpegOptions::SetAspect(const std::string& value) {
  double ratio = 0;
  const size_t colon = value.find(':');
  if (colon != std::string::npos) {
    const int width = OptionIntDef(value.substr(0, colon), 0);
    const int height = OptionIntDef(value.substr(colon + 1), 0);
    ratio = height <= 0 ? 0 : static_cast<double>(width) / height;
  } else {
    ratio = OptionFloatDef(value, 0);
  }
  // A negative ratio is refused like a zero one: no picture has one.
  if (!(ratio > 0)) throw FFmpegException("Incorrect aspect ratio specification.");
  state_.frame_aspect_ratio = ratio;
}

void TFFmpegOptions::SetMatrix(const std::string& name, const std::string& value) {
  std::optional<TMatrix>& matrix =
      name == "intra_matrix" ? state_.intra_matrix : state_.inter_matrix;
  matrix.emplace();
  matrix->fill(0);
  const char* p = value.c_str();
  for (int i = 0; i < kMatrixSize; ++i) {
    (*matrix)[i] = static_cast<uint16_t>(std::atoi(p));
    if (i == kMatrixSize - 1) break;
    p = std::strchr(p, ',');
    if (!p)
      throw FFmpegException(
          FormatText("Syntax error in matrix \"%s\" at coeff %d", value.c_str(), i));
    ++p;
  }
}

void TFFmpegOptions::SetTime(const std::string& name, const std::string& value) {
  const bool is_date = name == "timestamp";
  int64_t us = 0;
  if (av::av_parse_time(&us, value.c_str(), is_date ? 0 : 1) < 0 || us == INT64_MIN)
    throw FFmpegException(FormatText("Invalid %s specification for %s: %s",
                                     is_date ? "date" : "duration", name.c_str(), value.c_str()));
  if (name == "t") {
    if (us == AV_NOPTS_VALUE) return;
    state_.recording_time_us = us;
    state_.total_duration_us = us;
  } else if (name == "ss") {
    state_.start_time_us = us;
  } else if (name == "itsoffset") {
    state_.input_ts_offset_us = us;
  } else {
    state_.rec_timestamp_s = std::llround(static_cast<double>(us) / 1000000.0);
  }
}

void TFFmpegOptions::SetVstats(const std::string& name, const std::string& value) {
  if (name == "vstats_file") {
    state_.vstats_filename = value;
    return;
  }
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  state_.vstats_filename = FormatText("%svstats_%02d%02d%02d.log", ExecutableFolder().c_str(),
                                      local.tm_hour, local.tm_min, local.tm_sec);
}

// The plug-in command line is split at "|" when it holds one, else at spaces.
void TFFmpegOptions::AddHook(const std::string& value) {
  constexpr size_t kMaxHookArgs = 254;
  const char separator = value.find('|') != std::string::npos ? '|' : ' ';
  std::vector<std::string> args;
  size_t start = 0;
  while (start <= value.size() && args.size() < kMaxHookArgs) {
    size_t end = value.find(separator, start);
    if (end == std::string::npos) end = value.size();
    if (end > start) args.push_back(value.substr(start, end - start));
    start = end + 1;
  }
  if (AddFrameHook(args) != 0) throw FFmpegException("Failed to add video hook function: " + value);
  state_.using_vhook = true;
}

void TFFmpegOptions::AddStream(AVMediaType type) {
  if (OutputFileCount() <= 0) throw FFmpegException("At least one output file must be specified");
  NewStream(type);
}

void TFFmpegOptions::NewStream(AVMediaType) {}

int TFFmpegOptions::AddFrameHook(const std::vector<std::string>&) {
  return -1;
}

std::string TFFmpegOptions::ExecutableFolder() const {
  char path[4096];
  const ssize_t size = readlink("/proc/self/exe", path, sizeof path - 1);
  if (size <= 0) return "./";
  std::string folder(path, static_cast<size_t>(size));
  return folder.substr(0, folder.rfind('/') + 1);
}

std::vector<AVRational> VideoFrameRatesOf(const AVFormatContext* input) {
  std::vector<AVRational> rates;
  if (!input) return rates;
  for (unsigned i = 0; i < input->nb_streams; ++i) {
    const AVStream* stream = input->streams[i];
    if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) rates.push_back(stream->r_frame_rate);
  }
  return rates;
}

}  // namespace kestrel
