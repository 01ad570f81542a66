// The start-of-conversion setup, the read loop and the end of a run.
#include "engine/transcode.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <thread>

#include "engine/engine_log.h"
#include "engine/option_values.h"
#include "medialib/library_loader.h"
#include "medialib/text_utils.h"

namespace kestrel {
namespace {

constexpr AVRational kMicroseconds{1, AV_TIME_BASE};

const char* TypeText(AVMediaType type) {
  const char* text = av::av_get_media_type_string(type);
  return text ? text : "unknown";
}

// Frees a packet of its own when the scope ends, also when an error is raised.
struct TOwnedPacket {
  AVPacket* packet;
  ~TOwnedPacket() { av::av_packet_free(&packet); }
};

std::string ReadWholeFile(const std::string& name, bool* ok) {
  std::string data;
  FILE* f = std::fopen(name.c_str(), "rb");
  *ok = f != nullptr;
  if (!f) return data;
  char chunk[65536];
  size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) data.append(chunk, n);
  *ok = !std::ferror(f);
  std::fclose(f);
  return data;
}

}  // namespace

TTranscoder::TTranscoder(TCustomFFmpeg& engine)
    : engine_(engine), options_(engine.Options()), files_(*engine.files_) {
  frame_ = av::av_frame_alloc();
  filtered_ = av::av_frame_alloc();
  packet_ = av::av_packet_alloc();
  encoded_ = av::av_packet_alloc();
  if (!frame_ || !filtered_ || !packet_ || !encoded_) {
    av::av_frame_free(&frame_);
    av::av_frame_free(&filtered_);
    av::av_packet_free(&packet_);
    av::av_packet_free(&encoded_);
    throw FFmpegException("av_mallocz fail");
  }
  hook_active_ = engine.HasHook();
  preview_flags_ = engine.PreviewFlags();
}

TTranscoder::~TTranscoder() {
  CloseCodecs();
  for (TOutputStream& ost : outputs_) {
    for (AVBSFContext*& bsf : ost.bitstream_filters) av::av_bsf_free(&bsf);
    if (ost.pass_log) std::fclose(ost.pass_log);
    av::av_free(ost.subtitle_buffer);
  }
  if (vstats_) std::fclose(vstats_);
  av::av_frame_free(&frame_);
  av::av_frame_free(&filtered_);
  av::av_packet_free(&packet_);
  av::av_packet_free(&encoded_);
}

void TTranscoder::Log(int level, const std::string& text) const {
  EngineLog(&engine_, level, text);
}

bool TTranscoder::BreakRequested() const {
  return engine_.break_.load();
}

void TTranscoder::CheckPause() {
  engine_.WaitWhilePaused();
}

void TTranscoder::Run() {
  PrepareTranscode();
  start_wall_ = av::av_gettime_relative();
  last_report_ = start_wall_;
  Loop();
  Finish();
}

// ---- Setup -----------------------------------------------------------------------------

void TTranscoder::PrepareTranscode() {
  BuildStreamTables();
  ChooseSources();
  for (TOutputStream& ost : outputs_) {
    TInputStream& ist = inputs_[ost.source];
    av::av_dict_copy(&ost.stream->metadata, ist.stream->metadata, AV_DICT_DONT_OVERWRITE);
    ost.stream->disposition = ist.stream->disposition;
    if (ost.setup->copy)
      PrepareCopy(ost);
    else
      PrepareEncoding(ost);
  }
  OpenEncoders();
  OpenDecoders();
  for (TOutputStream& ost : outputs_) PrepareBitstreamFilters(ost);
  CopyMetadataAndChapters();
  LogStreamMapping();
  WriteHeaders();
  for (TOutputStream& ost : outputs_) {
    if (!ost.encoding || ost.setup->type != AVMEDIA_TYPE_AUDIO) continue;
    AudioOutputOptions audio;
    audio.audio_sync_method = options_.audio_sync_method;
    audio.audio_drift_threshold_s = options_.audio_drift_threshold_s;
    audio.verbose = options_.verbose;
    audio.exit_on_error = options_.exit_on_error;
    audio.audio_volume = ost.setup->volume;
    audio.start_time_us = options_.start_time_us;
    TOutputStream* target = &ost;
    ost.audio = std::make_unique<AudioOutput>(
        ost.encoder, ost.stream->time_base, ost.index, audio,
        [this, target](AVPacket& packet) {
          audio_bytes_ += packet.size;
          WritePacket(*target, &packet);
        },
        [this](TLogLevel level, const std::string& text) {
          EngineLog(&engine_, LibraryLevelOf(level), text);
        });
  }
}

void TTranscoder::BuildStreamTables() {
  for (size_t f = 0; f < files_.inputs.size(); ++f) {
    AVFormatContext* context = files_.inputs[f].context;
    file_streams_.emplace_back();
    for (unsigned i = 0; i < context->nb_streams; ++i) {
      TInputStream ist;
      ist.file = static_cast<int>(f);
      ist.index = static_cast<int>(i);
      ist.stream = context->streams[i];
      ist.start_wall = av::av_gettime_relative();
      file_streams_.back().push_back(static_cast<int>(inputs_.size()));
      inputs_.push_back(ist);
    }
  }
  file_eof_.assign(files_.inputs.size(), false);
  no_packet_.assign(files_.inputs.size(), false);
  int global = 0;
  for (size_t f = 0; f < files_.outputs.size(); ++f) {
    TOutputFile& file = files_.outputs[f];
    if (file.streams.empty()) {
      av::av_dump_format(file.context, static_cast<int>(f), file.context->url, 1);
      throw FFmpegException(FormatText("Output file #%d does not contain any stream", int(f)));
    }
    for (size_t s = 0; s < file.streams.size(); ++s) {
      TOutputStream ost;
      ost.file = static_cast<int>(f);
      ost.index = static_cast<int>(s);
      ost.global_index = global++;
      ost.setup = &file.streams[s];
      ost.stream = file.streams[s].stream;
      ost.encoder = file.streams[s].settings;
      outputs_.push_back(std::move(ost));
    }
  }
}

void TTranscoder::ChooseSources() {
  const std::vector<TStreamMap>& maps = options_.stream_maps;
  if (!maps.empty() && maps.size() != outputs_.size())
    throw FFmpegException("Number of stream maps must match number of output streams");
  auto find = [this](int file, int stream) -> int {
    if (file < 0 || file >= static_cast<int>(file_streams_.size())) return -1;
    if (stream < 0 || stream >= static_cast<int>(file_streams_[file].size())) return -1;
    return file_streams_[file][stream];
  };
  for (size_t k = 0; k < outputs_.size(); ++k) {
    TOutputStream& ost = outputs_[k];
    const AVMediaType type = ost.setup->type;
    if (!maps.empty()) {
      const TStreamMap& map = maps[k];
      const int source = find(map.file_index, map.stream_index);
      if (source < 0)
        throw FFmpegException(
            FormatText("Could not find input stream #%d.%d", map.file_index, map.stream_index));
      const int sync = find(map.sync_file_index, map.sync_stream_index);
      if (sync < 0)
        throw FFmpegException(FormatText("Could not find sync stream #%d.%d", map.sync_file_index,
                                         map.sync_stream_index));
      const AVMediaType in_type = inputs_[source].stream->codecpar->codec_type;
      if (in_type != type)
        throw FFmpegException(
            FormatText("Codec type mismatch for mapping #%d.%d (%s) -> #%d.%d (%s)", map.file_index,
                       map.stream_index, TypeText(in_type), ost.file, ost.index, TypeText(type)));
      ost.source = source;
      ost.sync_source = sync;
    } else {
      // The best unused stream of that kind: the libraries' choice within each file.
      int chosen = -1;
      for (size_t f = 0; f < files_.inputs.size() && chosen < 0; ++f) {
        if (files_.joining && static_cast<int>(f) != ost.file) continue;
        const int best =
            av::av_find_best_stream(files_.inputs[f].context, type, -1, -1, nullptr, 0);
        if (best >= 0 && !inputs_[file_streams_[f][best]].used) chosen = file_streams_[f][best];
        for (int i : file_streams_[f]) {
          if (chosen >= 0) break;
          const TInputStream& ist = inputs_[i];
          if (!ist.used && ist.stream->codecpar->codec_type == type &&
              ist.stream->discard != AVDISCARD_ALL)
            chosen = i;
        }
      }
      if (chosen < 0 && !options_.program_id && !files_.joining) {
        for (size_t i = 0; i < inputs_.size(); ++i)
          if (inputs_[i].stream->codecpar->codec_type == type &&
              inputs_[i].stream->discard != AVDISCARD_ALL)
            chosen = static_cast<int>(i);
      }
      if (chosen < 0) {
        av::av_dump_format(files_.outputs[ost.file].context, ost.file,
                           files_.outputs[ost.file].context->url, 1);
        throw FFmpegException(
            FormatText("Could not find input stream matching output stream #%d.%d (%s)", ost.file,
                       ost.index, TypeText(type)));
      }
      ost.source = chosen;
      ost.sync_source = chosen;
    }
    inputs_[ost.source].used = true;
    if (!files_.joining) continue;
    ost.join_sources.assign(files_.inputs.size(), -1);
    ost.join_sources[0] = ost.source;
    for (size_t f = 1; f < files_.inputs.size(); ++f) {
      const int source = JoinedSource(ost, static_cast<int>(f), inputs_[ost.source].index);
      if (source < 0)
        throw FFmpegException(
            FormatText("Could not find input stream matching output stream #%d.%d (%s)", ost.file,
                       ost.index, TypeText(type)));
      inputs_[source].used = true;
      ost.join_sources[f] = source;
    }
  }
}

// The stream of input `file` that continues `ost` when joining: the one at the index the
// first input used when it has the same kind, else the libraries' best of that kind, else
// any unused one of that kind; -1 when the file has none.
int TTranscoder::JoinedSource(const TOutputStream& ost, int file, int first_choice) const {
  const AVMediaType type = ost.setup->type;
  const std::vector<int>& streams = file_streams_[file];
  auto usable = [&](int i) {
    const TInputStream& ist = inputs_[i];
    return !ist.used && ist.stream->codecpar->codec_type == type &&
           ist.stream->discard != AVDISCARD_ALL;
  };
  if (first_choice >= 0 && first_choice < static_cast<int>(streams.size()) &&
      usable(streams[first_choice]))
    return streams[first_choice];
  const int best = av::av_find_best_stream(files_.inputs[file].context, type, -1, -1, nullptr, 0);
  if (best >= 0 && best < static_cast<int>(streams.size()) && usable(streams[best]))
    return streams[best];
  for (int i : streams)
    if (usable(i)) return i;
  return -1;
}

void TTranscoder::PrepareCopy(TOutputStream& ost) {
  TInputStream& ist = inputs_[ost.source];
  const AVCodecParameters* in = ist.stream->codecpar;
  AVCodecParameters* out = ost.stream->codecpar;
  const AVMediaType type = ost.setup->type;
  if (type == AVMEDIA_TYPE_VIDEO) {
    if (engine_.HasHook())
      throw FFmpegException(
          "-vcodec copy and CustomHook are incompatible (frames are not decoded)");
    if (options_.using_vhook)
      throw FFmpegException("-vcodec copy and -vhook are incompatible (frames are not decoded)");
    if (preview_flags_ & kPreviewBitmap)
      throw FFmpegException("-vcodec copy and PostHooks are incompatible (frames are not decoded)");
  } else if (type == AVMEDIA_TYPE_AUDIO) {
    if (ost.setup->volume != 256)
      throw FFmpegException("-acodec copy and -vol are incompatible (frames are not decoded)");
  } else if (type != AVMEDIA_TYPE_SUBTITLE && type != AVMEDIA_TYPE_DATA) {
    throw FFmpegException("invalid codec_type of output stream");
  }
  if (in->extradata_size >= INT32_MAX - 8)
    throw FFmpegException("icodec.extradata_size is invalid (too large)");
  const int ret = av::avcodec_parameters_copy(out, in);
  if (ret < 0) throw FFmpegException(FormatErrorText("avcodec_parameters_copy", ret));
  // Keep the tag only when the output format knows it for this codec.
  const AVOutputFormat* format = files_.outputs[ost.file].context->oformat;
  unsigned tag = 0;
  if (!format->codec_tag || av::av_codec_get_id(format->codec_tag, in->codec_tag) == in->codec_id ||
      !av::av_codec_get_tag2(format->codec_tag, in->codec_id, &tag))
    out->codec_tag = in->codec_tag;
  else
    out->codec_tag = 0;
  if (type == AVMEDIA_TYPE_AUDIO && in->block_align == 1 && in->codec_id == AV_CODEC_ID_MP3)
    out->block_align = 0;
  if (type == AVMEDIA_TYPE_AUDIO && in->codec_id == AV_CODEC_ID_AC3) out->block_align = 0;
  if (type == AVMEDIA_TYPE_VIDEO && ost.setup->aspect > 0 && options_.frame_aspect_ratio > 0)
    ost.stream->sample_aspect_ratio = in->sample_aspect_ratio;
  ost.stream->time_base = ist.stream->time_base;
  ost.stream->avg_frame_rate = ist.stream->avg_frame_rate;
  ost.stream->r_frame_rate = ist.stream->r_frame_rate;
}

void TTranscoder::PrepareEncoding(TOutputStream& ost) {
  TInputStream& ist = inputs_[ost.source];
  const AVCodecParameters* in = ist.stream->codecpar;
  TOutputStreamSetup& setup = *ost.setup;
  ost.encoding = true;
  ist.decoding = true;
  for (int source : ost.join_sources) inputs_[source].decoding = true;
  switch (setup.type) {
    case AVMEDIA_TYPE_AUDIO:
      break;
    case AVMEDIA_TYPE_VIDEO: {
      AVCodecContext* c = ost.encoder;
      if (c->pix_fmt == AV_PIX_FMT_NONE)
        throw FFmpegException("Video pixel format is unknown, stream cannot be encoded");
      const int cropped_w = in->width - setup.crop_left - setup.crop_right;
      const int cropped_h = in->height - setup.crop_top - setup.crop_bottom;
      if (setup.width <= 0 || setup.height <= 0) {
        setup.width = cropped_w;
        setup.height = cropped_h;
      }
      PrepareVideoGraph(ost, in->width, in->height, static_cast<AVPixelFormat>(in->format),
                        ist.stream->sample_aspect_ratio);
      c->width = ost.graph->Width();
      c->height = ost.graph->Height();
      AVRational sar{0, 1};
      if (!setup.filters.empty())
        sar = ost.graph->SampleAspect();
      else if (setup.aspect > 0)
        av::av_reduce(&sar.num, &sar.den, std::llround(setup.aspect * c->height / c->width * 10000),
                      10000, 255);
      c->sample_aspect_ratio = sar;
      ost.stream->sample_aspect_ratio = sar;
      ost.stream->avg_frame_rate = setup.frame_rate;
      break;
    }
    case AVMEDIA_TYPE_SUBTITLE:
      ost.encoder->time_base = kMicroseconds;
      break;
    default:
      throw FFmpegException("invalid codec_type of output stream");
  }
  if (ost.encoder->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2)) OpenPassLog(ost);
}

void TTranscoder::PrepareVideoGraph(TOutputStream& ost, int width, int height, AVPixelFormat format,
                                    AVRational sar) {
  TVideoGraphShape shape;
  shape.in_width = width;
  shape.in_height = height;
  shape.in_format = format == AV_PIX_FMT_NONE ? AV_PIX_FMT_YUV420P : format;
  shape.in_sar = sar;
  shape.frame_rate = ost.setup->frame_rate;
  shape.crop_top = ost.setup->crop_top;
  shape.crop_bottom = ost.setup->crop_bottom;
  shape.crop_left = ost.setup->crop_left;
  shape.crop_right = ost.setup->crop_right;
  shape.out_width = ost.setup->width;
  shape.out_height = ost.setup->height;
  shape.out_format = ost.encoder->pix_fmt;
  shape.user_filters = ost.setup->filters;
  shape.deinterlace = options_.do_deinterlace;
  shape.sws_flags = options_.sws_flags;
  ost.graph = std::make_unique<TVideoFilterGraph>(shape);
}

void TTranscoder::OpenPassLog(TOutputStream& ost) {
  const std::string prefix =
      options_.pass_log_file.empty() ? "ffmpeg2pass" : options_.pass_log_file;
  std::string name = FormatText("%s-%d.log", prefix.c_str(), ost.global_index);
  if (name.size() > 1023) name.resize(1023);
  if (ost.encoder->flags & AV_CODEC_FLAG_PASS1) {
    ost.pass_log = std::fopen(name.c_str(), "wb");
    if (!ost.pass_log)
      throw FFmpegException(
          FormatText("Cannot write log file %s for pass-1 encoding", name.c_str()));
    return;
  }
  bool ok = false;
  const std::string data = ReadWholeFile(name, &ok);
  if (!ok)
    throw FFmpegException(FormatText(
        "Cannot read file: Error reading log file \"%s\" for pass-2 encoding", name.c_str()));
  char* copy = static_cast<char*>(av::av_malloc(data.size() + 1));
  if (!copy)
    throw FFmpegException(FormatText(
        "Could not allocate file buffer: Error reading log file \"%s\" for pass-2 encoding",
        name.c_str()));
  std::copy(data.begin(), data.end(), copy);
  copy[data.size()] = 0;
  av::av_freep(&ost.encoder->stats_in);
  ost.encoder->stats_in = copy;
}

void TTranscoder::OpenEncoders() {
  for (TOutputStream& ost : outputs_) {
    if (!ost.encoding) continue;
    if (files_.joining && ost.file != 0) continue;
    AVCodecContext* c = ost.encoder;
    const AVCodec* codec =
        ost.setup->encoder ? ost.setup->encoder : av::avcodec_find_encoder(c->codec_id);
    const char* type = TypeText(ost.setup->type);
    if (!codec) {
      const std::string text =
          FormatText("Encoder (codec id %d) not found for output stream #%d.%d (%s)", c->codec_id,
                     ost.file, ost.index, type);
      LogStreamMapping();
      Log(AV_LOG_ERROR, text);
      throw FFmpegException(text);
    }
    if (ost.setup->type == AVMEDIA_TYPE_SUBTITLE) {
      const AVCodecParameters* in = inputs_[ost.source].stream->codecpar;
      c->width = in->width;
      c->height = in->height;
    }
    int ret = 0;
    {
      std::lock_guard<std::mutex> lock(CodecLock());
      ret = av::avcodec_open2(c, codec, nullptr);
    }
    if (ret < 0) {
      const std::string text = FormatText(
          "Error while opening encoder for output stream #%d.%d (%s) - maybe incorrect parameters "
          "such as bit_rate, rate, width or height. Please check error log message to find out "
          "more detail information.",
          ost.file, ost.index, type);
      LogStreamMapping();
      Log(AV_LOG_ERROR, text);
      throw FFmpegException(text);
    }
    ost.encoder_open = true;
    ret = av::avcodec_parameters_from_context(ost.stream->codecpar, c);
    if (ret < 0) throw FFmpegException(FormatErrorText("avcodec_parameters_from_context", ret));
    ost.stream->time_base = c->time_base;
    header_bytes_ += c->extradata_size;
  }
}

void TTranscoder::OpenDecoders() {
  for (TInputStream& ist : inputs_) {
    if (!ist.decoding) continue;
    const AVCodecParameters* par = ist.stream->codecpar;
    const AVCodec* codec = files_.inputs[ist.file].decoders[ist.index];
    if (!codec) codec = av::avcodec_find_decoder(par->codec_id);
    const char* type = TypeText(par->codec_type);
    if (!codec)
      throw FFmpegException(
          FormatText("Decoder (codec id %d) not found for input stream #%d.%d (%s)", par->codec_id,
                     ist.file, ist.index, type));
    ist.decoder = av::avcodec_alloc_context3(codec);
    if (!ist.decoder) throw FFmpegException("av_mallocz fail");
    av::avcodec_parameters_to_context(ist.decoder, par);
    ist.decoder->pkt_timebase = ist.stream->time_base;
    ist.decoder->thread_count = options_.thread_count;
    int ret = 0;
    {
      std::lock_guard<std::mutex> lock(CodecLock());
      ret = av::avcodec_open2(ist.decoder, codec, nullptr);
    }
    if (ret < 0)
      throw FFmpegException(FormatText("Error while opening decoder for input stream #%d.%d (%s)",
                                       ist.file, ist.index, type));
  }
  for (TInputStream& ist : inputs_) {
    const AVRational rate = ist.stream->avg_frame_rate;
    ist.pts = 0;
    if (ist.stream->codecpar->video_delay && rate.num > 0)
      ist.pts = -std::llround(ist.stream->codecpar->video_delay * 1e6 * rate.den / rate.num);
    ist.next_pts = kNoTimestamp;
  }
}

void TTranscoder::PrepareBitstreamFilters(TOutputStream& ost) {
  for (const TBitstreamFilterSpec& wanted : ost.setup->bitstream_filters) {
    const AVBitStreamFilter* filter = av::av_bsf_get_by_name(wanted.name.c_str());
    if (!filter) throw FFmpegException("Unknown bitstream filter " + wanted.name);
    AVBSFContext* bsf = nullptr;
    int ret = av::av_bsf_alloc(filter, &bsf);
    if (ret < 0) throw FFmpegException(FormatErrorText(wanted.name, ret));
    ost.bitstream_filters.push_back(bsf);
    const AVCodecParameters* in =
        ost.bitstream_filters.size() > 1
            ? ost.bitstream_filters[ost.bitstream_filters.size() - 2]->par_out
            : ost.stream->codecpar;
    av::avcodec_parameters_copy(bsf->par_in, in);
    bsf->time_base_in = ost.stream->time_base;
    if (!wanted.args.empty()) {
      AVDictionary* dict = nullptr;
      av::av_dict_parse_string(&dict, wanted.args.c_str(), "=", ":", 0);
      av::av_opt_set_dict2(bsf, &dict, AV_OPT_SEARCH_CHILDREN);
      av::av_dict_free(&dict);
    }
    ret = av::av_bsf_init(bsf);
    if (ret < 0) throw FFmpegException(FormatErrorText(wanted.name, ret));
  }
  if (!ost.bitstream_filters.empty())
    av::avcodec_parameters_copy(ost.stream->codecpar, ost.bitstream_filters.back()->par_out);
}

void TTranscoder::CopyMetadataAndChapters() {
  for (const TMetaDataMap& map : options_.meta_data_maps) {
    if (map.out_file < 0 || map.out_file >= static_cast<int>(files_.outputs.size()))
      throw FFmpegException(FormatText("Invalid output file index %d map_meta_data(%d,%d)",
                                       map.out_file, map.out_file, map.in_file));
    if (map.in_file < 0 || map.in_file >= static_cast<int>(files_.inputs.size()))
      throw FFmpegException(FormatText("Invalid input file index %d map_meta_data(%d,%d)",
                                       map.in_file, map.out_file, map.in_file));
    av::av_dict_copy(&files_.outputs[map.out_file].context->metadata,
                     files_.inputs[map.in_file].context->metadata, AV_DICT_DONT_OVERWRITE);
  }
  for (size_t in = 0; in < files_.inputs.size(); ++in) {
    // The chapters of later joined inputs would need times known only while converting.
    if (files_.joining && in > 0) break;
    const TInputFile& input = files_.inputs[in];
    for (TOutputFile& output : files_.outputs) {
      AVFormatContext* oc = output.context;
      for (unsigned k = 0; k < input.context->nb_chapters; ++k) {
        const AVChapter* in = input.context->chapters[k];
        const int64_t off = av::av_rescale_q(options_.start_time_us - input.ts_offset_us,
                                             kMicroseconds, in->time_base);
        const int64_t rt =
            options_.recording_time_us == kUnlimitedRecordingTime
                ? INT64_MAX
                : av::av_rescale_q(options_.recording_time_us, kMicroseconds, in->time_base);
        if (in->end < off) continue;
        if (rt != INT64_MAX && in->start > rt + off) break;
        auto* chapter = static_cast<AVChapter*>(av::av_mallocz(sizeof(AVChapter)));
        if (!chapter) throw FFmpegException("av_realloc fail");
        chapter->id = in->id;
        chapter->time_base = in->time_base;
        chapter->start = std::max<int64_t>(0, in->start - off);
        chapter->end = std::min(rt, in->end - off);
        av::av_dict_copy(&chapter->metadata, in->metadata, 0);
        void* grown = av::av_realloc(oc->chapters, sizeof(AVChapter*) * (oc->nb_chapters + 1));
        if (!grown) {
          av::av_dict_free(&chapter->metadata);
          av::av_free(chapter);
          throw FFmpegException("av_realloc fail");
        }
        oc->chapters = static_cast<AVChapter**>(grown);
        oc->chapters[oc->nb_chapters++] = chapter;
      }
    }
  }
}

void TTranscoder::LogStreamMapping() {
  for (size_t f = 0; f < files_.outputs.size(); ++f) {
    if (files_.joining && f > 0) break;
    av::av_dump_format(files_.outputs[f].context, static_cast<int>(f),
                       files_.outputs[f].context->url, 1);
  }
  if (options_.verbose < 0) return;
  Log(AV_LOG_INFO, "Stream mapping:");
  for (const TOutputStream& ost : outputs_) {
    const TInputStream& src = inputs_[ost.source];
    std::string line =
        FormatText("  Stream #%d.%d -> #%d.%d (%s)", src.file, src.index,
                   files_.joining ? 0 : ost.file, ost.index, TypeText(ost.setup->type));
    if (ost.sync_source != ost.source) {
      const TInputStream& sync = inputs_[ost.sync_source];
      line += FormatText(" [sync #%d.%d (%s)]", sync.file, sync.index,
                         TypeText(sync.stream->codecpar->codec_type));
    }
    Log(AV_LOG_INFO, line);
  }
}

void TTranscoder::WriteHeaders() {
  for (size_t f = 0; f < files_.outputs.size(); ++f) {
    if (files_.joining && f > 0) break;
    AVFormatContext* oc = files_.outputs[f].context;
    AVDictionary* options = TGenericOptions::ToDictionary(engine_.FormatOptionValues());
    if (options_.mux_preload_s > 0)
      av::av_dict_set_int(&options, "preload",
                          static_cast<int64_t>(options_.mux_preload_s * AV_TIME_BASE), 0);
    const int ret = av::avformat_write_header(oc, &options);
    av::av_dict_free(&options);
    if (ret < 0)
      throw FFmpegException(FormatText(
          "Could not write header for output file #%d (incorrect codec parameters ?)", int(f)));
  }
}

// ---- Loop ------------------------------------------------------------------------------

int TTranscoder::ChooseJoinedInput() {
  bool recording = false;
  for (const TOutputStream& ost : outputs_) {
    const AVMediaType type = ost.setup->type;
    const int limit = type == AVMEDIA_TYPE_VIDEO   ? options_.max_video_frames
                      : type == AVMEDIA_TYPE_AUDIO ? options_.max_audio_frames
                                                   : options_.max_data_frames;
    if (ost.frames >= limit) return -1;
    recording = recording || !inputs_[ost.source].past_recording;
  }
  if (!recording) return -1;
  if (no_packet_[join_input_]) {
    no_packet_[join_input_] = false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return join_input_;
}

bool TTranscoder::NextJoinedInput() {
  const int done = join_input_;
  for (int i : file_streams_[done]) {
    TInputStream& ist = inputs_[i];
    if (ist.decoding && !ist.flushed) OutputPacket(ist, nullptr);
  }
  if (done + 1 >= static_cast<int>(files_.inputs.size()) || BreakRequested()) return false;
  // The next input starts where the longest stream of this one ended.
  double t = 0;
  for (const TOutputStream& ost : outputs_) t = std::max({t, ost.out_time_s, ost.end_time_s});
  join_input_ = done + 1;
  TInputFile& next = files_.inputs[join_input_];
  const int64_t offset = std::llround(t * AV_TIME_BASE);
  next.ts_offset_us += offset;
  if (next.discard_before_us != kNoTimestamp) next.discard_before_us += offset;
  for (TOutputStream& ost : outputs_) {
    ost.source = ost.sync_source = ost.join_sources[join_input_];
    if (!ost.encoding || ost.setup->type != AVMEDIA_TYPE_VIDEO) continue;
    // The drained graph takes no more pictures: a new one for the next input's pictures.
    // A size not known before decoding keeps the last one; the first picture corrects it.
    const AVStream* stream = inputs_[ost.source].stream;
    const TVideoGraphShape& shape = ost.graph->Shape();
    const bool sized = stream->codecpar->width > 0 && stream->codecpar->height > 0;
    RebuildVideoGraph(ost, sized ? stream->codecpar->width : shape.in_width,
                      sized ? stream->codecpar->height : shape.in_height,
                      static_cast<AVPixelFormat>(stream->codecpar->format),
                      stream->sample_aspect_ratio);
  }
  return true;
}

int TTranscoder::ChooseInput() {
  if (files_.joining) return ChooseJoinedInput();
  double best_out = 1e100, best_in = 1e100;
  int chosen = -1;
  for (const TOutputStream& ost : outputs_) {
    const TInputStream& ist = inputs_[ost.source];
    const AVMediaType type = ost.setup->type;
    const int limit = type == AVMEDIA_TYPE_VIDEO   ? options_.max_video_frames
                      : type == AVMEDIA_TYPE_AUDIO ? options_.max_audio_frames
                                                   : options_.max_data_frames;
    if (ost.frames >= limit) return -1;
    if (ist.past_recording || no_packet_[ist.file] || file_eof_[ist.file]) continue;
    const double in_time = static_cast<double>(ist.pts);
    if (options_.input_sync ? in_time < best_in : ost.out_time_s < best_out) {
      best_in = in_time;
      best_out = ost.out_time_s;
      chosen = ist.file;
    }
  }
  return chosen;
}

void TTranscoder::Loop() {
  while (!BreakRequested()) {
    CheckPause();
    if (BreakRequested()) break;
    const int file_index = ChooseInput();
    if (file_index < 0) {
      if (std::find(no_packet_.begin(), no_packet_.end(), true) != no_packet_.end()) {
        std::fill(no_packet_.begin(), no_packet_.end(), false);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        continue;
      }
      break;
    }
    // The size limit ends the run once something was written, so the file holds a picture.
    if (options_.limit_filesize_bytes > 0 && files_.outputs[0].context->pb && packets_written_ &&
        av::avio_seek(files_.outputs[0].context->pb, 0, SEEK_CUR) >= options_.limit_filesize_bytes)
      break;
    TInputFile& file = files_.inputs[file_index];
    const int ret = av::av_read_frame(file.context, packet_);
    if (ret == AVERROR(EAGAIN)) {
      no_packet_[file_index] = true;
      continue;
    }
    if (ret < 0) {
      file_eof_[file_index] = true;
      if (files_.joining && !NextJoinedInput()) break;
      if (options_.shortest && !files_.joining) break;
      continue;
    }
    std::fill(no_packet_.begin(), no_packet_.end(), false);
    const int stream_index = packet_->stream_index;
    if (options_.do_pkt_dump && stream_index < static_cast<int>(file.context->nb_streams) &&
        EngineLogPasses(AV_LOG_DEBUG))
      DumpPacket(*packet_, file.context->streams[stream_index]->time_base);
    if (stream_index >= static_cast<int>(file_streams_[file_index].size())) {
      av::av_packet_unref(packet_);
      continue;
    }
    TInputStream& ist = inputs_[file_streams_[file_index][stream_index]];
    if (!ist.used) {
      av::av_packet_unref(packet_);
      continue;
    }
    AdjustTimestamps(file, ist, *packet_);
    if (options_.recording_time_us != kUnlimitedRecordingTime && packet_->pts != AV_NOPTS_VALUE &&
        av::av_compare_ts(packet_->pts, ist.stream->time_base,
                          options_.recording_time_us + options_.start_time_us,
                          kMicroseconds) >= 0) {
      ist.past_recording = true;
      av::av_packet_unref(packet_);
      continue;
    }
    if (!OutputPacket(ist, packet_)) {
      const std::string text = FormatText("Error while decoding stream #%d.%d (%s)", ist.file,
                                          ist.index, TypeText(ist.stream->codecpar->codec_type));
      if (options_.exit_on_error) throw FFmpegException(text);
      if (options_.verbose >= 0) Log(AV_LOG_VERBOSE, text);
    }
    av::av_packet_unref(packet_);
    const int64_t now = av::av_gettime_relative();
    if (now - last_report_ > engine_.ProgressInterval()) {
      last_report_ = now;
      Report(false, file_index);
    }
  }
}

void TTranscoder::DumpPacket(const AVPacket& packet, AVRational time_base) const {
  const std::string text = PacketDumpText(packet, time_base, options_.do_hex_dump);
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t end = text.find('\n', pos);
    Log(AV_LOG_DEBUG, text.substr(pos, end - pos));
    pos = end == std::string::npos ? text.size() : end + 1;
  }
}

void TTranscoder::AdjustTimestamps(TInputFile& file, TInputStream& ist, AVPacket& packet) {
  const AVRational tb = ist.stream->time_base;
  const int64_t offset = av::av_rescale_q(file.ts_offset_us, kMicroseconds, tb);
  if (packet.dts != AV_NOPTS_VALUE) packet.dts += offset;
  if (packet.pts != AV_NOPTS_VALUE) packet.pts += offset;
  if (ist.index < kMaxStreams && file.ts_scale[ist.index]) {
    const double scale = *file.ts_scale[ist.index];
    if (packet.dts != AV_NOPTS_VALUE) packet.dts = std::llround(packet.dts * scale);
    if (packet.pts != AV_NOPTS_VALUE) packet.pts = std::llround(packet.pts * scale);
  }
  if ((file.context->iformat->flags & AVFMT_TS_DISCONT) && packet.dts != AV_NOPTS_VALUE &&
      ist.next_pts != kNoTimestamp && !options_.copy_ts) {
    const int64_t dts_us = av::av_rescale_q(packet.dts, tb, kMicroseconds);
    const int64_t delta = dts_us - ist.next_pts;
    if (std::llabs(delta) > options_.dts_delta_threshold_s * AV_TIME_BASE || dts_us + 1 < ist.pts) {
      file.ts_offset_us -= delta;
      const int64_t shift = av::av_rescale_q(delta, kMicroseconds, tb);
      packet.dts -= shift;
      if (packet.pts != AV_NOPTS_VALUE) packet.pts -= shift;
      if (options_.verbose >= 3)
        Log(AV_LOG_VERBOSE,
            FormatText("timestamp discontinuity %lld, new offset= %lld",
                       static_cast<long long>(delta), static_cast<long long>(file.ts_offset_us)));
    }
  }
}

bool TTranscoder::OutputPacket(TInputStream& ist, const AVPacket* packet) {
  const AVRational tb = ist.stream->time_base;
  if (ist.next_pts == kNoTimestamp) ist.next_pts = ist.pts;
  if (packet && packet->dts != AV_NOPTS_VALUE)
    ist.next_pts = ist.pts = av::av_rescale_q(packet->dts, tb, kMicroseconds);

  if (packet) {
    for (TOutputStream& ost : outputs_)
      if (!ost.encoding && &inputs_[ost.source] == &ist) CopyPacket(ist, ost, *packet);
  }
  if (!ist.decoding) {
    const AVCodecParameters* par = ist.stream->codecpar;
    if (packet && par->codec_type == AVMEDIA_TYPE_AUDIO && par->sample_rate > 0 &&
        par->frame_size > 0)
      ist.next_pts += int64_t(AV_TIME_BASE) * par->frame_size / par->sample_rate;
    else if (packet && packet->duration > 0)
      ist.next_pts += av::av_rescale_q(packet->duration, tb, kMicroseconds);
    return true;
  }

  const AVMediaType type = ist.stream->codecpar->codec_type;
  if (type == AVMEDIA_TYPE_SUBTITLE) {
    if (!packet) return true;
    AVSubtitle subtitle{};
    int got = 0;
    const int ret =
        av::avcodec_decode_subtitle2(ist.decoder, &subtitle, &got, const_cast<AVPacket*>(packet));
    if (ret < 0) return false;
    if (got) {
      HandleSubtitle(ist, subtitle);
      av::avsubtitle_free(&subtitle);
    }
    return true;
  }
  if (type != AVMEDIA_TYPE_AUDIO && type != AVMEDIA_TYPE_VIDEO) return false;
  if (!packet && ist.flushed) return true;
  if (!packet) ist.flushed = true;
  int ret = av::avcodec_send_packet(ist.decoder, packet);
  bool ok = ret >= 0 || ret == AVERROR_EOF;
  while (true) {
    ret = av::avcodec_receive_frame(ist.decoder, frame_);
    if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) break;
    if (ret < 0) {
      ok = false;
      break;
    }
    HandleDecodedFrame(ist, frame_);
    av::av_frame_unref(frame_);
    if (BreakRequested()) break;
  }
  if (!packet) {
    // End of the stream: the filter graphs and encoders fed by it are drained.
    for (TOutputStream& ost : outputs_) {
      if (!ost.encoding || &inputs_[ost.source] != &ist) continue;
      if (ost.graph) {
        ost.graph->Push(nullptr, 0);
        DrainGraph(ost);
      }
    }
  }
  return ok;
}

void TTranscoder::CopyPacket(TInputStream& ist, TOutputStream& ost, const AVPacket& packet) {
  if (!ost.wrote_frame && !(packet.flags & AV_PKT_FLAG_KEY) && !options_.copy_initial_nonkeyframes)
    return;
  if (ist.pts < options_.start_time_us) return;
  const TInputFile& file = files_.inputs[ist.file];
  if (file.discard_before_us != kNoTimestamp && packet.pts != AV_NOPTS_VALUE &&
      av::av_compare_ts(packet.pts, ist.stream->time_base, file.discard_before_us, kMicroseconds) <
          0 &&
      !ost.wrote_frame)
    return;
  TOwnedPacket owned{av::av_packet_clone(&packet)};
  AVPacket* copy = owned.packet;
  if (!copy) throw FFmpegException("av_mallocz fail");
  const AVRational out_tb = ost.stream->time_base;
  const int64_t start = av::av_rescale_q(options_.start_time_us, kMicroseconds, out_tb);
  if (copy->pts != AV_NOPTS_VALUE)
    copy->pts = av::av_rescale_q(copy->pts, ist.stream->time_base, out_tb) - start;
  if (copy->dts != AV_NOPTS_VALUE)
    copy->dts = av::av_rescale_q(copy->dts, ist.stream->time_base, out_tb) - start;
  copy->duration = av::av_rescale_q(copy->duration, ist.stream->time_base, out_tb);
  if (copy->dts != AV_NOPTS_VALUE) {
    ost.out_time_s = copy->dts * av_q2d(out_tb);
    ost.end_time_s = std::max(ost.end_time_s, (copy->dts + copy->duration) * av_q2d(out_tb));
  }
  const AVMediaType type = ost.setup->type;
  if (type == AVMEDIA_TYPE_VIDEO) {
    video_bytes_ += copy->size;
    ++ost.sync_position;
  } else if (type == AVMEDIA_TYPE_AUDIO) {
    audio_bytes_ += copy->size;
  }
  WritePacket(ost, copy);
  ++ost.frames;
}

void TTranscoder::HandleDecodedFrame(TInputStream& ist, AVFrame* frame) {
  const AVRational tb = ist.stream->time_base;
  const AVMediaType type = ist.stream->codecpar->codec_type;
  if (frame->best_effort_timestamp != AV_NOPTS_VALUE)
    ist.pts = av::av_rescale_q(frame->best_effort_timestamp, tb, kMicroseconds);
  else
    ist.pts = ist.next_pts;
  int64_t duration = 0;
  if (type == AVMEDIA_TYPE_AUDIO && frame->sample_rate > 0) {
    duration = int64_t(AV_TIME_BASE) * frame->nb_samples / frame->sample_rate;
  } else if (type == AVMEDIA_TYPE_VIDEO) {
    AVRational rate = av::av_guess_frame_rate(files_.inputs[ist.file].context, ist.stream, frame);
    if (rate.num > 0 && rate.den > 0)
      duration = av::av_rescale_q(1 + frame->repeat_pict / 2, av_inv_q(rate), kMicroseconds);
  }
  ist.next_pts = ist.pts + duration;
  const int64_t pts_us = ist.pts;

  if (type == AVMEDIA_TYPE_VIDEO) PreProcess(frame, pts_us);

  if (options_.rate_emu) {
    const int64_t elapsed = av::av_gettime_relative() - ist.start_wall;
    if (pts_us > elapsed + 1000) av::av_usleep(static_cast<unsigned>(pts_us - elapsed));
  }
  if (pts_us + duration <= options_.start_time_us) return;
  const TInputFile& file = files_.inputs[ist.file];
  if (file.discard_before_us != kNoTimestamp && pts_us + duration <= file.discard_before_us) return;

  for (TOutputStream& ost : outputs_) {
    if (!ost.encoding || &inputs_[ost.source] != &ist) continue;
    if (type == AVMEDIA_TYPE_AUDIO)
      ost.audio->Write(*frame, pts_us);
    else
      FeedVideo(ist, ost, frame, pts_us);
    if (type == AVMEDIA_TYPE_AUDIO)
      ost.out_time_s = static_cast<double>(ost.audio->sync_position()) / ost.encoder->sample_rate;
  }
}

void TTranscoder::HandleSubtitle(TInputStream& ist, AVSubtitle& subtitle) {
  if (subtitle.pts == AV_NOPTS_VALUE) {
    if (options_.exit_on_error) throw FFmpegException("Subtitle packets must have a pts");
    Log(AV_LOG_ERROR, "Subtitle packets must have a pts");
    return;
  }
  constexpr int kSubtitleBuffer = 1024 * 1024;
  for (TOutputStream& ost : outputs_) {
    if (!ost.encoding || &inputs_[ost.source] != &ist) continue;
    if (!ost.subtitle_buffer) {
      ost.subtitle_buffer = static_cast<uint8_t*>(av::av_malloc(kSubtitleBuffer));
      if (!ost.subtitle_buffer) throw FFmpegException("av_mallocz fail");
    }
    const bool dvb = ost.encoder->codec_id == AV_CODEC_ID_DVB_SUBTITLE;
    const int passes = dvb ? 2 : 1;
    const int64_t base = subtitle.pts - options_.start_time_us;
    for (int pass = 0; pass < passes; ++pass) {
      AVSubtitle copy = subtitle;
      copy.pts = base + int64_t(subtitle.start_display_time) * 1000;
      copy.end_display_time -= copy.start_display_time;
      copy.start_display_time = 0;
      if (pass == 1) copy.num_rects = 0;
      const int size =
          av::avcodec_encode_subtitle(ost.encoder, ost.subtitle_buffer, kSubtitleBuffer, &copy);
      if (size < 0) throw FFmpegException("Subtitle encoding failed");
      TOwnedPacket owned{av::av_packet_alloc()};
      AVPacket* packet = owned.packet;
      if (!packet || av::av_new_packet(packet, size) < 0) throw FFmpegException("av_mallocz fail");
      std::copy(ost.subtitle_buffer, ost.subtitle_buffer + size, packet->data);
      packet->pts = packet->dts = av::av_rescale_q(copy.pts, kMicroseconds, ost.stream->time_base);
      packet->duration =
          av::av_rescale_q(copy.end_display_time, AVRational{1, 1000}, ost.stream->time_base);
      if (dvb)
        packet->pts += av::av_rescale_q(
            90 * (pass == 0 ? subtitle.start_display_time : subtitle.end_display_time),
            AVRational{1, 90000}, ost.stream->time_base);
      ost.out_time_s = packet->pts * av_q2d(ost.stream->time_base);
      WritePacket(ost, packet);
      ++ost.frames;
    }
  }
}

void TTranscoder::Finish() {
  for (TInputStream& ist : inputs_)
    if (ist.decoding && !ist.flushed) OutputPacket(ist, nullptr);
  for (TOutputStream& ost : outputs_) {
    if (!ost.encoding) continue;
    if (ost.audio) ost.audio->Flush();
    if (ost.setup->type == AVMEDIA_TYPE_VIDEO) EncodeVideo(ost, nullptr);
  }
  for (TOutputStream& ost : outputs_)
    if (!ost.bitstream_filters.empty()) FilterAndWrite(ost, 0, nullptr);
  for (size_t f = 0; f < files_.outputs.size(); ++f) {
    if (files_.joining && f > 0) break;
    const int ret = av::av_write_trailer(files_.outputs[f].context);
    if (ret < 0) throw FFmpegException(FormatErrorText("av_write_trailer()", ret));
  }
  Report(true, -1);
  CloseCodecs();
  if (!BreakRequested()) {
    // Inputs that gave nothing to write (every packet undecodable) make no finished file.
    for (size_t f = 0; f < files_.outputs.size(); ++f) {
      bool written = false;
      for (const TOutputStream& ost : outputs_)
        written = written || (ost.file == static_cast<int>(f) && ost.wrote_frame);
      if (!written)
        throw FFmpegException(
            FormatText("Output file #%d is empty, nothing was encoded", static_cast<int>(f)));
    }
  }
  engine_.finished_ = !BreakRequested();
}

void TTranscoder::CloseCodecs() {
  std::lock_guard<std::mutex> lock(CodecLock());
  for (TOutputStream& ost : outputs_) {
    ost.audio.reset();
    if (ost.encoder_open && ost.encoder) {
      av::av_freep(&ost.encoder->stats_in);
      av::avcodec_close(ost.encoder);
      ost.encoder_open = false;
    }
  }
  for (TInputStream& ist : inputs_) av::avcodec_free_context(&ist.decoder);
}

// ---- Writing and reporting ---------------------------------------------------------------

void TTranscoder::WritePacket(TOutputStream& ost, AVPacket* packet) {
  packet->stream_index = ost.index;
  FilterAndWrite(ost, 0, packet);
}

void TTranscoder::FilterAndWrite(TOutputStream& ost, size_t filter, AVPacket* packet) {
  if (filter == ost.bitstream_filters.size()) {
    if (!packet) return;
    packet->stream_index = ost.index;
    const int ret = av::av_interleaved_write_frame(files_.outputs[ost.file].context, packet);
    if (ret < 0) throw FFmpegException(FormatErrorText("av_interleaved_write_frame()", ret));
    ost.wrote_frame = true;
    ++packets_written_;
    return;
  }
  AVBSFContext* bsf = ost.bitstream_filters[filter];
  auto report = [&](int code) {
    const std::string text =
        FormatErrorText(FormatText("%s failed for stream %d, codec %s", bsf->filter->name,
                                   ost.index, ost.encoding ? ost.encoder->codec->name : "copy"),
                        code);
    if (options_.exit_on_error) throw FFmpegException(text);
    Log(AV_LOG_ERROR, text);
  };
  int ret = av::av_bsf_send_packet(bsf, packet);
  if (ret < 0) {
    report(ret);
    if (packet) av::av_packet_unref(packet);
    return;
  }
  TOwnedPacket owned{av::av_packet_alloc()};
  AVPacket* out = owned.packet;
  if (!out) throw FFmpegException("av_mallocz fail");
  while ((ret = av::av_bsf_receive_packet(bsf, out)) >= 0) {
    FilterAndWrite(ost, filter + 1, out);
    av::av_packet_unref(out);
  }
  if (ret != AVERROR(EAGAIN) && ret != AVERROR_EOF) report(ret);
  if (!packet) FilterAndWrite(ost, filter + 1, nullptr);
}

int64_t TTranscoder::OutputSize() const {
  if (files_.outputs.empty()) return 0;
  AVIOContext* pb = files_.outputs[0].context->pb;
  if (!pb) return 0;
  const int64_t size = av::avio_size(pb);
  return size > 0 ? size : av::avio_seek(pb, 0, SEEK_CUR);
}

void TTranscoder::Report(bool last, int file_index) {
  const int64_t size = std::max<int64_t>(0, OutputSize());
  std::string text;
  TProgressInfo info;
  info.FileIndex = file_index;
  info.TotalDuration = options_.total_duration_us;
  double t = 0;
  bool first_video = true;
  for (const TOutputStream& ost : outputs_) {
    t = std::max(t, ost.out_time_s);
    if (ost.setup->type != AVMEDIA_TYPE_VIDEO) continue;
    const float q = ost.encoding ? ost.quality : -1.0f;
    if (!first_video) {
      text += FormatText("q=%2.1f ", q);
      continue;
    }
    first_video = false;
    const double seconds = (av::av_gettime_relative() - start_wall_) / 1e6;
    const int fps = seconds > 1 ? static_cast<int>(ost.frames / seconds + 0.5) : 0;
    text += VideoReportText(ost, last);
    info.FrameNumber = static_cast<int>(ost.frames);
    info.FPS = fps;
    info.Quality = q;
  }
  if (t < 0.01) t = 0.01;
  const double bitrate = size * 8 / t / 1000;
  text += FormatText("size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s", size / 1024.0, t, bitrate);
  if (dup_frames_ || drop_frames_)
    text += FormatText(" dup=%d drop=%d", static_cast<int>(dup_frames_),
                       static_cast<int>(drop_frames_));
  info.BitRate = static_cast<float>(bitrate);
  info.CurrentSize = size;
  info.CurrentDuration = static_cast<int64_t>(t * AV_TIME_BASE);
  {
    std::lock_guard<std::mutex> lock(engine_.progress_text_mutex_);
    engine_.progress_text_ = text;
  }
  if (counters_changed_ && options_.verbose >= 0 && engine_.progress_) {
    Log(AV_LOG_VERBOSE, text);
    counters_changed_ = false;
  }
  if (engine_.progress_)
    engine_.progress_(engine_, info);
  else if (options_.verbose >= 0)
    Log(AV_LOG_VERBOSE, text);
  if (last && options_.verbose >= 0) {
    const double sum = static_cast<double>(video_bytes_ + audio_bytes_ + header_bytes_);
    Log(AV_LOG_VERBOSE,
        FormatText("video:%1.0fkB audio:%1.0fkB global headers:%1.0fkB muxing overhead %f%%\r\n",
                   video_bytes_ / 1024.0, audio_bytes_ / 1024.0, header_bytes_ / 1024.0,
                   sum > 0 ? 100.0 * (size - sum) / sum : 0.0));
  }
}

}  // namespace kestrel
