// Opening input and output files and creating output streams from the pending options.
#include "engine/stream_setup.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "engine/engine_log.h"
#include "engine/ffmpeg_core.h"
#include "engine/option_values.h"
#include "medialib/file_names.h"
#include "medialib/library_loader.h"
#include "medialib/text_utils.h"

namespace kestrel {
namespace {

void SetDict(AVDictionary** dict, const char* key, const std::string& value) {
  av::av_dict_set(dict, key, value.c_str(), 0);
}

bool InputsHave(const std::vector<TInputFile>& inputs, AVMediaType type, bool join) {
  for (const TInputFile& input : inputs) {
    for (unsigned i = 0; i < input.context->nb_streams; ++i) {
      const int t = input.context->streams[i]->codecpar->codec_type;
      if (t < AVMEDIA_TYPE_UNKNOWN || t >= AVMEDIA_TYPE_NB)
        throw FFmpegException("invalid codec_type of input file");
      if (t == type) return true;
    }
    if (join) break;
  }
  return false;
}

int StrictnessOf(const TFFmpegOptions& options, AVMediaType type) {
  const AVCodecContext* generic = options.GenericOptions().CodecContext(type);
  return generic ? generic->strict_std_compliance : 0;
}

void ApplyGenericOptions(AVCodecContext* context, const TOptionValues& values) {
  AVDictionary* dict = TGenericOptions::ToDictionary(values);
  av::av_opt_set_dict2(context, &dict, AV_OPT_SEARCH_CHILDREN);
  av::av_dict_free(&dict);
}

// "start,end,q/start,end,q...": q > 0 a fixed quantiser, else a quality factor -q/100.
void ParseRcOverride(const std::string& text, AVCodecContext* context) {
  if (text.empty()) return;
  std::vector<RcOverride> items;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('/', pos);
    if (end == std::string::npos) end = text.size();
    const std::string item = text.substr(pos, end - pos);
    int start = 0, stop = 0, q = 0;
    char extra = 0;
    if (std::sscanf(item.c_str(), "%d,%d,%d%c", &start, &stop, &q, &extra) != 3)
      throw FFmpegException("error parsing rc_override");
    RcOverride o{};
    o.start_frame = start;
    o.end_frame = stop;
    if (q > 0) {
      o.qscale = q;
      o.quality_factor = 1.0f;
    } else {
      o.qscale = 0;
      o.quality_factor = -q / 100.0f;
    }
    items.push_back(o);
    pos = end + 1;
  }
  context->rc_override = static_cast<RcOverride*>(av::av_malloc(sizeof(RcOverride) * items.size()));
  if (!context->rc_override) throw FFmpegException("av_mallocz fail");
  std::copy(items.begin(), items.end(), context->rc_override);
  context->rc_override_count = static_cast<int>(items.size());
}

uint16_t* CopyMatrix(const TMatrix& matrix) {
  auto* copy = static_cast<uint16_t*>(av::av_malloc(sizeof(uint16_t) * kMatrixSize));
  if (!copy) throw FFmpegException("av_mallocz fail");
  std::copy(matrix.begin(), matrix.end(), copy);
  return copy;
}

}  // namespace

TEngineFiles::~TEngineFiles() {
  CloseAll();
}

void FreeStreamSetup(TOutputStreamSetup& setup) {
  if (setup.settings) {
    std::lock_guard<std::mutex> lock(CodecLock());
    av::av_freep(&setup.settings->stats_in);
    av::avcodec_free_context(&setup.settings);
  }
}

void TEngineFiles::CloseAll() {
  for (TOutputFile& file : outputs) {
    for (TOutputStreamSetup& setup : file.streams) FreeStreamSetup(setup);
    if (!file.context) continue;
    const bool writes_file = !(file.context->oformat->flags & AVFMT_NOFILE);
    if (writes_file && file.context->pb) {
      av::avio_closep(&file.context->pb);
      // An output that never received data leaves no file behind.
      struct stat info {};
      if (file.file_opened && ::stat(file.name.c_str(), &info) == 0 && info.st_size == 0)
        std::remove(file.name.c_str());
    }
    av::avformat_free_context(file.context);
    file.context = nullptr;
  }
  outputs.clear();
  for (TInputFile& input : inputs) av::avformat_close_input(&input.context);
  inputs.clear();
  joining = false;
}

bool FindCodec(const std::string& name, AVMediaType type, bool encoder, int strict,
               const AVCodec** codec, std::string* error) {
  *codec = nullptr;
  if (name.empty()) return true;
  const char* kind = encoder ? "encoder" : "decoder";
  const AVCodec* found = encoder ? av::avcodec_find_encoder_by_name(name.c_str())
                                 : av::avcodec_find_decoder_by_name(name.c_str());
  if (!found) {
    *error = FormatText("Unknown %s '%s'", kind, name.c_str());
    return false;
  }
  if (found->type != type) {
    *error = FormatText("Invalid %s type '%s'", kind, name.c_str());
    return false;
  }
  if ((found->capabilities & AV_CODEC_CAP_EXPERIMENTAL) && strict > FF_COMPLIANCE_EXPERIMENTAL) {
    *error = FormatText(
        "%s '%s' is experimental and might produce bad results.\r\n"
        "Add '-strict experimental' if you want to use it.",
        kind, name.c_str());
    const AVCodec* other =
        encoder ? av::avcodec_find_encoder(found->id) : av::avcodec_find_decoder(found->id);
    if (other && !(other->capabilities & AV_CODEC_CAP_EXPERIMENTAL))
      *error += FormatText("\r\nOr use the non experimental %s '%s'.", kind, other->name);
    return false;
  }
  *codec = found;
  return true;
}

void TCustomFFmpeg::Log(int level, const std::string& text) const {
  EngineLog(this, level, text);
}

bool TCustomFFmpeg::OpenInputFile(const std::string& file_name) {
  TOptionState& o = MutableOptions();
  if (files_->inputs.size() >= static_cast<size_t>(kMaxInputFiles)) {
    last_error_ = FormatText("max input files %d reached", kMaxInputFiles);
    return false;
  }
  const AVInputFormat* format = nullptr;
  if (!o.file_format.empty()) {
    format = av::av_find_input_format(o.file_format.c_str());
    if (!format)
      throw FFmpegException(FormatText("Unknown input format: \"%s\"", o.file_format.c_str()));
    o.file_format.clear();
  }
  auto reset_names = [&o] {
    o.video_codec_name.clear();
    o.audio_codec_name.clear();
    o.subtitle_codec_name.clear();
    o.video_channel = 0;
  };
  AVFormatContext* context = av::avformat_alloc_context();
  if (!context) throw FFmpegException("avformat_alloc_context failed");

  // Decoders forced by name.
  const AVCodec* forced[3] = {};
  const std::pair<AVMediaType, std::string*> names[3] = {
      {AVMEDIA_TYPE_VIDEO, &o.video_codec_name},
      {AVMEDIA_TYPE_AUDIO, &o.audio_codec_name},
      {AVMEDIA_TYPE_SUBTITLE, &o.subtitle_codec_name}};
  for (int i = 0; i < 3; ++i) {
    std::string error;
    if (!FindCodec(*names[i].second, names[i].first, false, StrictnessOf(*this, names[i].first),
                   &forced[i], &error)) {
      av::avformat_free_context(context);
      reset_names();
      last_error_ = error;
      return false;
    }
  }
  if (forced[0]) context->video_codec_id = forced[0]->id;
  if (forced[1]) context->audio_codec_id = forced[1]->id;
  if (forced[2]) context->subtitle_codec_id = forced[2]->id;
  context->flags |= AVFMT_FLAG_NONBLOCK;

  // Container options and, for a forced (raw) format, the format parameters.
  AVDictionary* options = TGenericOptions::ToDictionary(FormatOptionValues());
  if (format) {
    if (o.frame_width > 0 && o.frame_height > 0)
      SetDict(&options, "video_size", FormatText("%dx%d", o.frame_width, o.frame_height));
    if (o.frame_rate.num > 0)
      SetDict(&options, "framerate", FormatText("%d/%d", o.frame_rate.num, o.frame_rate.den));
    if (o.frame_pix_fmt != AV_PIX_FMT_NONE)
      SetDict(&options, "pixel_format", av::av_get_pix_fmt_name(o.frame_pix_fmt));
    SetDict(&options, "sample_rate", std::to_string(o.audio_sample_rate));
    SetDict(&options, "ch_layout", FormatText("%dC", o.audio_channels));
  }
  const std::string url = FileNameToURL(file_name);
  int ret = av::avformat_open_input(&context, url.c_str(), format, &options);
  av::av_dict_free(&options);
  if (ret < 0) {
    reset_names();
    last_error_ = FormatErrorText(file_name, ret);
    return false;
  }
  auto fail = [&](const std::string& text) {
    av::avformat_close_input(&context);
    reset_names();
    last_error_ = text;
    return false;
  };

  if (o.program_id) {
    for (unsigned i = 0; i < context->nb_streams; ++i) context->streams[i]->discard = AVDISCARD_ALL;
    bool found = false;
    for (unsigned p = 0; p < context->nb_programs; ++p) {
      AVProgram* program = context->programs[p];
      if (program->id != o.program_id) {
        program->discard = AVDISCARD_ALL;
        continue;
      }
      found = true;
      for (unsigned k = 0; k < program->nb_stream_indexes; ++k)
        context->streams[program->stream_index[k]]->discard = AVDISCARD_DEFAULT;
    }
    o.program_id = 0;
    if (!found) return fail("Specified program id not found");
  }

  {
    std::lock_guard<std::mutex> lock(CodecLock());
    ret = av::avformat_find_stream_info(context, nullptr);
  }
  if (ret < 0) {
    const std::string text = FormatText("%s: could not find codec parameters", file_name.c_str());
    if (o.verbose >= 0) Log(AV_LOG_VERBOSE, text);
    return fail(text);
  }

  int64_t timestamp = o.start_time_us;
  if (context->start_time != AV_NOPTS_VALUE) timestamp += context->start_time;
  TInputFile input;
  if (o.start_time_us != 0) {
    if (av::av_seek_frame(context, -1, timestamp, AVSEEK_FLAG_BACKWARD) < 0 && o.verbose > 0)
      Log(AV_LOG_VERBOSE, FormatText("%s: could not seek to position %0.3f", file_name.c_str(),
                                     static_cast<double>(timestamp) / AV_TIME_BASE));
    input.discard_before_us = o.input_ts_offset_us;
  }
  o.start_time_us = 0;

  input.decoders.assign(context->nb_streams, nullptr);
  for (unsigned i = 0; i < context->nb_streams; ++i) {
    AVStream* st = context->streams[i];
    const AVCodecParameters* par = st->codecpar;
    switch (par->codec_type) {
      case AVMEDIA_TYPE_VIDEO: {
        // The input's picture becomes the default of the outputs that follow.
        o.frame_width = par->width;
        o.frame_height = par->height;
        AVRational sar = av::av_guess_sample_aspect_ratio(context, st, nullptr);
        if (sar.num <= 0 || sar.den <= 0) sar = AVRational{1, 1};
        o.frame_aspect_ratio = par->height > 0 ? av_q2d(sar) * par->width / par->height : 4.0 / 3.0;
        o.frame_pix_fmt =
            par->format < 0 ? AV_PIX_FMT_YUV420P : static_cast<AVPixelFormat>(par->format);
        o.frame_rate = av::av_guess_frame_rate(context, st, nullptr);
        input.defaults.video = true;
        input.defaults.width = o.frame_width;
        input.defaults.height = o.frame_height;
        input.defaults.aspect = o.frame_aspect_ratio;
        input.defaults.pix_fmt = o.frame_pix_fmt;
        input.defaults.rate = o.frame_rate;
        input.decoders[i] = forced[0];
        if (o.video_disable)
          st->discard = AVDISCARD_ALL;
        else if (o.video_discard)
          st->discard = static_cast<AVDiscard>(o.video_discard);
        break;
      }
      case AVMEDIA_TYPE_AUDIO:
        if (par->ch_layout.nb_channels > 0) o.audio_channels = par->ch_layout.nb_channels;
        if (par->sample_rate > 0) o.audio_sample_rate = par->sample_rate;
        o.audio_sample_fmt = static_cast<AVSampleFormat>(par->format);
        input.defaults.audio = true;
        input.defaults.channels = o.audio_channels;
        input.defaults.sample_rate = o.audio_sample_rate;
        input.defaults.sample_fmt = o.audio_sample_fmt;
        input.decoders[i] = forced[1];
        if (o.audio_disable) st->discard = AVDISCARD_ALL;
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        input.decoders[i] = forced[2];
        if (o.subtitle_disable) st->discard = AVDISCARD_ALL;
        break;
      default:
        if (par->codec_type < AVMEDIA_TYPE_UNKNOWN || par->codec_type >= AVMEDIA_TYPE_NB)
          return fail("invalid codec_type");
        break;
    }
  }
  if (context->duration != AV_NOPTS_VALUE && context->duration > o.total_duration_us)
    o.total_duration_us = context->duration;
  input.ts_offset_us = o.input_ts_offset_us - (o.copy_ts ? 0 : timestamp);
  if (input.discard_before_us != kNoTimestamp && o.copy_ts) input.discard_before_us = timestamp;
  input.ts_scale = o.input_ts_scale;
  input.name = file_name;
  input.context = context;
  files_->inputs.push_back(std::move(input));
  if (o.verbose >= 0)
    av::av_dump_format(context, static_cast<int>(files_->inputs.size()) - 1, url.c_str(), 0);
  reset_names();
  return true;
}

namespace {

// A joined output takes its shape from the first input: each default the last opened input
// left (and no option changed since) becomes the first input's again.
void UseFirstInputDefaults(const TInputDefaults& first, const TInputDefaults& last,
                           TOptionState& o) {
  if (first.video && last.video) {
    if (o.frame_width == last.width && o.frame_height == last.height) {
      o.frame_width = first.width;
      o.frame_height = first.height;
    }
    if (o.frame_aspect_ratio == last.aspect) o.frame_aspect_ratio = first.aspect;
    if (o.frame_pix_fmt == last.pix_fmt) o.frame_pix_fmt = first.pix_fmt;
    if (av_cmp_q(o.frame_rate, last.rate) == 0) o.frame_rate = first.rate;
  }
  if (first.audio && last.audio) {
    if (o.audio_channels == last.channels) o.audio_channels = first.channels;
    if (o.audio_sample_rate == last.sample_rate) o.audio_sample_rate = first.sample_rate;
    if (o.audio_sample_fmt == last.sample_fmt) o.audio_sample_fmt = first.sample_fmt;
  }
}

}  // namespace

int TCustomFFmpeg::OpenOutputFile(const std::string& file_name, bool join) {
  TOptionState& o = MutableOptions();
  if (files_->joining) {
    last_error_ = "Cannot join more than one output file.";
    return -1;
  }
  const bool joining = join && files_->inputs.size() > 1;
  if (joining && !files_->outputs.empty()) {
    // Every input feeds the joined file in turn, so no other output could receive them.
    last_error_ = "Cannot join more than one output file.";
    return -1;
  }
  if (joining)
    UseFirstInputDefaults(files_->inputs.front().defaults, files_->inputs.back().defaults, o);
  if (files_->outputs.size() >= static_cast<size_t>(kMaxOutputFiles)) {
    last_error_ = FormatText("max output files %d reached", kMaxOutputFiles);
    return -1;
  }
  const std::string url = FileNameToURL(file_name);
  const AVOutputFormat* format = nullptr;
  if (!o.file_format.empty()) {
    format = av::av_guess_format(o.file_format.c_str(), nullptr, nullptr);
    if (!format) {
      last_error_ = FormatText("Requested output format '%s' is not a suitable output format",
                               o.file_format.c_str());
      o.file_format.clear();
      return -1;
    }
  } else {
    format = av::av_guess_format(nullptr, url.c_str(), nullptr);
    if (!format) {
      last_error_ =
          FormatText("Unable to find a suitable output format for '%s'", file_name.c_str());
      return -1;
    }
  }
  o.file_format.clear();
  AVFormatContext* context = nullptr;
  if (av::avformat_alloc_output_context2(&context, format, nullptr, url.c_str()) < 0 || !context)
    throw FFmpegException("avformat_alloc_context failed");

  files_->outputs.emplace_back();
  TOutputFile& file = files_->outputs.back();
  file.context = context;
  file.name = file_name;
  auto fail = [&](const std::string& text) {
    TOutputFile& last = files_->outputs.back();
    for (TOutputStreamSetup& setup : last.streams) FreeStreamSetup(setup);
    if (last.context->pb) {
      av::avio_closep(&last.context->pb);
      if (last.file_opened) std::remove(last.name.c_str());
    }
    av::avformat_free_context(last.context);
    files_->outputs.pop_back();
    last_error_ = text;
    return -1;
  };

  bool use_video =
      o.video_stream_copy || format->video_codec != AV_CODEC_ID_NONE || !o.video_codec_name.empty();
  bool use_audio =
      o.audio_stream_copy || format->audio_codec != AV_CODEC_ID_NONE || !o.audio_codec_name.empty();
  bool use_subtitle = o.subtitle_stream_copy || format->subtitle_codec != AV_CODEC_ID_NONE ||
                      !o.subtitle_codec_name.empty();
  if (!files_->inputs.empty()) {
    try {
      use_video = use_video && InputsHave(files_->inputs, AVMEDIA_TYPE_VIDEO, join);
      use_audio = use_audio && InputsHave(files_->inputs, AVMEDIA_TYPE_AUDIO, join);
      use_subtitle = use_subtitle && InputsHave(files_->inputs, AVMEDIA_TYPE_SUBTITLE, join);
    } catch (const FFmpegException& e) {
      return fail(FormatText("check_audio_video_sub_inputs fail: %s", e.what()));
    }
  }
  if (o.video_disable) use_video = false;
  if (o.audio_disable) use_audio = false;
  if (o.subtitle_disable) use_subtitle = false;

  const char* stage = "new_video_stream fail: %s";
  try {
    if (use_video) NewVideoStream(file);
    stage = "new_audio_stream fail: %s";
    if (use_audio) NewAudioStream(file);
    stage = "new_subtitle_stream fail: %s";
    if (use_subtitle) NewSubtitleStream(file);
  } catch (const FFmpegException& e) {
    return fail(FormatText(stage, e.what()));
  }

  if (o.rec_timestamp_s != 0) {
    const time_t seconds = static_cast<time_t>(o.rec_timestamp_s);
    struct tm utc {};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000000Z", &utc);
    av::av_dict_set(&context->metadata, "creation_time", text, 0);
  }
  for (auto it = o.metadata.rbegin(); it != o.metadata.rend(); ++it)
    av::av_dict_set(&context->metadata, it->first.c_str(), it->second.c_str(), 0);
  o.metadata.clear();

  if ((format->flags & AVFMT_NEEDNUMBER) && !av::av_filename_number_test(url.c_str()))
    return fail(file_name + ": Number syntax expected in filename");
  if (!(format->flags & AVFMT_NOFILE)) {
    const int ret = av::avio_open2(&context->pb, url.c_str(), AVIO_FLAG_WRITE, nullptr, nullptr);
    if (ret < 0) return fail(FormatErrorText(file_name, ret));
    file.file_opened = true;
  }
  context->max_delay = static_cast<int>(o.mux_delay_s * AV_TIME_BASE);
  context->flags |= AVFMT_FLAG_NONBLOCK;
  o.stream_id_map.fill(0);

  if (joining) {
    // The inputs play one after the other: the expected length is their sum.
    files_->joining = true;
    int64_t sum = 0;
    for (const TInputFile& input : files_->inputs)
      if (input.context->duration != AV_NOPTS_VALUE && input.context->duration > 0)
        sum += input.context->duration;
    o.total_duration_us = sum > 0 ? sum : -1;
    // A recording time still bounds the joined length.
    if (sum > 0 && o.recording_time_us != kUnlimitedRecordingTime)
      o.total_duration_us = std::min(sum, o.recording_time_us);
  }
  return static_cast<int>(files_->outputs.size());
}

TOutputStreamSetup& TCustomFFmpeg::AddOutputStream(TOutputFile& file, AVMediaType type) {
  TOptionState& o = MutableOptions();
  const int index = static_cast<int>(file.context->nb_streams);
  if (index >= kMaxStreams) throw FFmpegException("Could not alloc stream");
  AVStream* stream = av::avformat_new_stream(file.context, nullptr);
  if (!stream) throw FFmpegException("Could not alloc stream");
  if (o.stream_id_map[index]) stream->id = o.stream_id_map[index];
  file.streams.emplace_back();
  TOutputStreamSetup& setup = file.streams.back();
  setup.stream = stream;
  setup.type = type;
  stream->codecpar->codec_type = type;
  return setup;
}

namespace {

AVCodecContext* NewSettings(const AVCodec* codec, AVMediaType type, int threads) {
  AVCodecContext* settings = av::avcodec_alloc_context3(codec);
  if (!settings) throw FFmpegException("av_mallocz fail");
  settings->codec_type = type;
  settings->thread_count = threads;
  return settings;
}

const AVCodec* EncoderFor(const std::string& name, AVMediaType type, int strict,
                          const AVFormatContext* file) {
  const AVCodec* codec = nullptr;
  std::string error;
  if (!FindCodec(name, type, true, strict, &codec, &error)) throw FFmpegException(error);
  if (codec) return codec;
  const AVCodecID id = av::av_guess_codec(file->oformat, nullptr, file->url, nullptr, type);
  return id == AV_CODEC_ID_NONE ? nullptr : av::avcodec_find_encoder(id);
}

void SetGlobalHeaders(AVCodecContext* settings, const AVFormatContext* file, int vglobal) {
  if ((vglobal & 1) || (vglobal == 0 && (file->oformat->flags & AVFMT_GLOBALHEADER)))
    settings->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (vglobal & 2) settings->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
}

}  // namespace

void TCustomFFmpeg::NewVideoStream(TOutputFile& file) {
  TOptionState& o = MutableOptions();
  TOutputStreamSetup& setup = AddOutputStream(file, AVMEDIA_TYPE_VIDEO);
  setup.bitstream_filters = std::move(o.video_bitstream_filters);
  o.video_bitstream_filters.clear();
  setup.copy = o.video_stream_copy;
  setup.aspect = o.frame_aspect_ratio;
  setup.encoder = setup.copy ? nullptr
                             : EncoderFor(o.video_codec_name, AVMEDIA_TYPE_VIDEO,
                                          StrictnessOf(*this, AVMEDIA_TYPE_VIDEO), file.context);
  setup.settings = NewSettings(setup.encoder, AVMEDIA_TYPE_VIDEO, o.thread_count);
  AVCodecContext* c = setup.settings;
  c->codec_tag = o.video_codec_tag;
  SetGlobalHeaders(c, file.context, o.video_global_header);
  if (!setup.copy) {
    ApplyGenericOptions(c, CodecOptionValues(AVMEDIA_TYPE_VIDEO));
    if (setup.encoder) c->codec_id = setup.encoder->id;
    AVRational rate =
        o.frame_rate.num > 0 && o.frame_rate.den > 0 ? o.frame_rate : AVRational{25, 1};
    if (setup.encoder && setup.encoder->supported_framerates && !o.force_fps)
      rate = setup.encoder->supported_framerates[av::av_find_nearest_q_idx(
          rate, setup.encoder->supported_framerates)];
    setup.frame_rate = rate;
    setup.force_fps = o.force_fps;
    c->time_base = av_inv_q(rate);
    c->framerate = rate;
    setup.width = o.frame_width;
    setup.height = o.frame_height;
    c->width = o.frame_width;
    c->height = o.frame_height;
    AVPixelFormat pix = o.frame_pix_fmt;
    if (setup.encoder && setup.encoder->pix_fmts) {
      bool supported = false;
      for (const AVPixelFormat* p = setup.encoder->pix_fmts; *p != AV_PIX_FMT_NONE; ++p)
        supported = supported || *p == pix;
      // The JPEG encoders list limited-range YUV but open with it only when non-standard
      // output is allowed; otherwise their first listed format is taken.
      const bool jpeg =
          setup.encoder->id == AV_CODEC_ID_MJPEG || setup.encoder->id == AV_CODEC_ID_LJPEG;
      const bool limited_yuv =
          pix == AV_PIX_FMT_YUV420P || pix == AV_PIX_FMT_YUV422P || pix == AV_PIX_FMT_YUV444P;
      if (jpeg && limited_yuv) supported = c->strict_std_compliance < 0;
      if (!supported) pix = setup.encoder->pix_fmts[0];
    }
    c->pix_fmt = pix;
    if (o.intra_only) c->gop_size = 0;
    if (o.video_qscale > 0 || o.same_quality) {
      c->flags |= AV_CODEC_FLAG_QSCALE;
      c->global_quality = static_cast<int>(FF_QP2LAMBDA * o.video_qscale);
    }
    if (o.intra_matrix) c->intra_matrix = CopyMatrix(*o.intra_matrix);
    if (o.inter_matrix) c->inter_matrix = CopyMatrix(*o.inter_matrix);
    ParseRcOverride(o.video_rc_override, c);
    if (!c->rc_initial_buffer_occupancy) c->rc_initial_buffer_occupancy = c->rc_buffer_size * 3 / 4;
    c->intra_dc_precision = o.intra_dc_precision - 8;
    if (o.do_psnr) c->flags |= AV_CODEC_FLAG_PSNR;
    if (o.do_pass == 1) c->flags |= AV_CODEC_FLAG_PASS1;
    if (o.do_pass == 2) c->flags |= AV_CODEC_FLAG_PASS2;
    setup.crop_top = o.crop_top;
    setup.crop_bottom = o.crop_bottom;
    setup.crop_left = o.crop_left;
    setup.crop_right = o.crop_right;
    setup.filters = o.vfilters;
  }
  if (!o.video_language.empty())
    av::av_dict_set(&setup.stream->metadata, "language", o.video_language.c_str(), 0);
  o.video_language.clear();
  o.video_disable = false;
  o.video_codec_name.clear();
  o.video_stream_copy = false;
  o.frame_pix_fmt = AV_PIX_FMT_NONE;
}

void TCustomFFmpeg::NewAudioStream(TOutputFile& file) {
  TOptionState& o = MutableOptions();
  TOutputStreamSetup& setup = AddOutputStream(file, AVMEDIA_TYPE_AUDIO);
  setup.bitstream_filters = std::move(o.audio_bitstream_filters);
  o.audio_bitstream_filters.clear();
  setup.copy = o.audio_stream_copy;
  setup.volume = o.audio_volume;
  setup.encoder = setup.copy ? nullptr
                             : EncoderFor(o.audio_codec_name, AVMEDIA_TYPE_AUDIO,
                                          StrictnessOf(*this, AVMEDIA_TYPE_AUDIO), file.context);
  setup.settings = NewSettings(setup.encoder, AVMEDIA_TYPE_AUDIO, o.thread_count);
  AVCodecContext* c = setup.settings;
  c->codec_tag = o.audio_codec_tag;
  SetGlobalHeaders(c, file.context, 0);
  c->sample_rate = o.audio_sample_rate;
  av::av_channel_layout_default(&c->ch_layout, o.audio_channels);
  if (!setup.copy) {
    ApplyGenericOptions(c, CodecOptionValues(AVMEDIA_TYPE_AUDIO));
    if (setup.encoder) c->codec_id = setup.encoder->id;
    if (o.audio_qscale > kNoAudioQuality) {
      c->flags |= AV_CODEC_FLAG_QSCALE;
      c->global_quality = static_cast<int>(FF_QP2LAMBDA * o.audio_qscale);
    }
    AVSampleFormat fmt = o.audio_sample_fmt;
    if (setup.encoder && setup.encoder->sample_fmts) {
      bool supported = false;
      for (const AVSampleFormat* p = setup.encoder->sample_fmts; *p != AV_SAMPLE_FMT_NONE; ++p)
        supported = supported || *p == fmt;
      if (!supported) fmt = setup.encoder->sample_fmts[0];
    }
    c->sample_fmt = fmt;
    if (setup.encoder && setup.encoder->supported_samplerates) {
      int best = 0;
      bool supported = false;
      for (const int* r = setup.encoder->supported_samplerates; *r; ++r) {
        if (*r == c->sample_rate) supported = true;
        if (!best || std::abs(*r - c->sample_rate) < std::abs(best - c->sample_rate)) best = *r;
      }
      if (!supported && best) {
        Log(AV_LOG_WARNING,
            FormatText("Requested sampling rate unsupported using closest supported (%d)", best));
        c->sample_rate = best;
      }
    }
    if (setup.encoder && setup.encoder->ch_layouts) {
      bool supported = false;
      for (const AVChannelLayout* l = setup.encoder->ch_layouts; l->nb_channels; ++l)
        supported = supported || av::av_channel_layout_compare(l, &c->ch_layout) == 0;
      if (!supported) {
        for (const AVChannelLayout* l = setup.encoder->ch_layouts; l->nb_channels; ++l) {
          if (l->nb_channels == c->ch_layout.nb_channels) {
            av::av_channel_layout_uninit(&c->ch_layout);
            av::av_channel_layout_copy(&c->ch_layout, l);
            break;
          }
        }
      }
    }
    c->time_base = AVRational{1, c->sample_rate};
  }
  if (!o.audio_language.empty())
    av::av_dict_set(&setup.stream->metadata, "language", o.audio_language.c_str(), 0);
  o.audio_language.clear();
  o.audio_disable = false;
  o.audio_codec_name.clear();
  o.audio_stream_copy = false;
}

void TCustomFFmpeg::NewSubtitleStream(TOutputFile& file) {
  TOptionState& o = MutableOptions();
  TOutputStreamSetup& setup = AddOutputStream(file, AVMEDIA_TYPE_SUBTITLE);
  setup.bitstream_filters = std::move(o.subtitle_bitstream_filters);
  o.subtitle_bitstream_filters.clear();
  setup.copy = o.subtitle_stream_copy;
  setup.encoder = setup.copy ? nullptr
                             : EncoderFor(o.subtitle_codec_name, AVMEDIA_TYPE_SUBTITLE,
                                          StrictnessOf(*this, AVMEDIA_TYPE_SUBTITLE), file.context);
  setup.settings = NewSettings(setup.encoder, AVMEDIA_TYPE_SUBTITLE, o.thread_count);
  setup.settings->codec_tag = o.subtitle_codec_tag;
  if (setup.encoder) setup.settings->codec_id = setup.encoder->id;
  if (!o.subtitle_language.empty())
    av::av_dict_set(&setup.stream->metadata, "language", o.subtitle_language.c_str(), 0);
  o.subtitle_language.clear();
  o.subtitle_disable = false;
  o.subtitle_codec_name.clear();
  o.subtitle_stream_copy = false;
}

void TCustomFFmpeg::NewStream(AVMediaType type) {
  if (files_->outputs.empty()) throw FFmpegException("At least one output file must be specified");
  TOutputFile& file = files_->outputs.back();
  if (type == AVMEDIA_TYPE_VIDEO)
    NewVideoStream(file);
  else if (type == AVMEDIA_TYPE_AUDIO)
    NewAudioStream(file);
  else
    NewSubtitleStream(file);
}

int TCustomFFmpeg::OutputFileCount() const {
  return static_cast<int>(files_->outputs.size());
}

int TCustomFFmpeg::InputFileCount() const {
  return static_cast<int>(files_->inputs.size());
}

const AVFormatContext* TCustomFFmpeg::InputContext(int file_index) const {
  if (file_index < 0 || file_index >= InputFileCount()) return nullptr;
  return files_->inputs[file_index].context;
}

std::vector<AVRational> TCustomFFmpeg::OpenedInputVideoRates() const {
  std::vector<AVRational> rates;
  for (const TInputFile& input : files_->inputs) {
    const std::vector<AVRational> more = VideoFrameRatesOf(input.context);
    rates.insert(rates.end(), more.begin(), more.end());
  }
  return rates;
}

}  // namespace kestrel
