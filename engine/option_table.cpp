// The engine's option table: one row per option name, each with the handler that
// converts its value and sets the option state.
#include <cstdlib>
#include <unordered_map>

#include "engine/engine_log.h"
#include "engine/ffmpeg_options.h"
#include "engine/option_values.h"
#include "medialib/av.h"

namespace kestrel {
namespace {

using TValue = const std::string&;

void DoNothing(TFFmpegOptions& self, TValue name, TValue) {
  EngineLog(&self, AV_LOG_INFO, "Do nothing: option - " + name);
}

void ListPixelFormats(const void* sender) {
  char line[256];
  EngineLog(sender, AV_LOG_INFO, av::av_get_pix_fmt_string(line, sizeof line, AV_PIX_FMT_NONE));
  for (int fmt = 0; fmt < AV_PIX_FMT_NB; ++fmt) {
    if (!av::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(fmt))) continue;
    EngineLog(sender, AV_LOG_INFO,
              av::av_get_pix_fmt_string(line, sizeof line, static_cast<AVPixelFormat>(fmt)));
  }
}

void ListSampleFormats(const void* sender) {
  EngineLog(sender, AV_LOG_INFO, "name   depth");
  for (int fmt = 0; fmt < AV_SAMPLE_FMT_NB; ++fmt) {
    const auto sample_fmt = static_cast<AVSampleFormat>(fmt);
    const char* name = av::av_get_sample_fmt_name(sample_fmt);
    if (name)
      EngineLog(sender, AV_LOG_INFO,
                FormatText("%-6s   %2d ", name, av::av_get_bytes_per_sample(sample_fmt) * 8));
  }
}

// "vtag" and friends: four characters as a little-endian 32-bit value.
uint32_t CodecTag(const std::string& value, const char* kind) {
  if (value.size() != 4)
    throw FFmpegException(FormatText("%s tag parameter must be 4 chars", kind));
  return static_cast<uint8_t>(value[0]) | static_cast<uint8_t>(value[1]) << 8 |
         static_cast<uint8_t>(value[2]) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(value[3])) << 24;
}

// Integers read the way strtol reads them, moving past one separator character.
long ReadLong(const char** text, bool skip_separator) {
  char* end = nullptr;
  const long value = std::strtol(*text, &end, 10);
  *text = end;
  if (skip_separator && **text) ++*text;
  return value;
}

TStreamMap ParseStreamMap(const std::string& value) {
  TStreamMap map;
  const char* p = value.c_str();
  map.file_index = static_cast<int>(ReadLong(&p, true));
  map.stream_index = static_cast<int>(ReadLong(&p, false));
  if (*p) {
    ++p;
    map.sync_file_index = static_cast<int>(ReadLong(&p, true));
    map.sync_stream_index = static_cast<int>(ReadLong(&p, false));
  } else {
    map.sync_file_index = map.file_index;
    map.sync_stream_index = map.stream_index;
  }
  return map;
}

TMetaDataMap ParseMetaDataMap(const std::string& value) {
  TMetaDataMap map;
  const char* p = value.c_str();
  map.out_file = static_cast<int>(ReadLong(&p, true));
  map.in_file = static_cast<int>(ReadLong(&p, false));
  return map;
}

int CheckedStreamIndex(long index) {
  if (index < 0 || index >= kMaxStreams)
    throw FFmpegException(FormatText("stream index over MAX_STREAMS(%d)", kMaxStreams));
  return static_cast<int>(index);
}

void SetStreamId(TOptionState& state, TValue name, TValue value) {
  const size_t colon = value.find(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == value.size())
    throw FFmpegException(
        FormatText("Invalid value \"%s\" for option \"%s\", required syntax is \"index:value\"",
                   value.c_str(), name.c_str()));
  const int index = CheckedStreamIndex(OptionInt(value.substr(0, colon)));
  state.stream_id_map[index] = OptionInt(value.substr(colon + 1));
}

void SetTimeScale(TOptionState& state, TValue value) {
  const char* p = value.c_str();
  const int stream = CheckedStreamIndex(ReadLong(&p, true));
  state.input_ts_scale[stream] = std::strtod(p, nullptr);
}

void AddMetadata(TOptionState& state, TValue value) {
  const size_t equals = value.find('=');
  if (equals == std::string::npos) throw FFmpegException("Missing =");
  state.metadata.emplace_back(value.substr(0, equals), value.substr(equals + 1));
}

}  // namespace

const std::vector<TFFmpegOptions::TOptionRow>& TFFmpegOptions::OptionTable() {
  using S = TFFmpegOptions&;
  static const std::vector<TOptionRow> kTable = {
      {"L", DoNothing},
      {"h", DoNothing},
      {"version", DoNothing},
      {"formats", DoNothing},
      {"codecs", DoNothing},
      {"bsfs", DoNothing},
      {"protocols", DoNothing},
      {"filters", DoNothing},
      {"loglevel", [](S, TValue, TValue v) { SetEngineLogLevel(LogLevelOfText(v)); }},
      {"f",
       [](S s, TValue, TValue v) {
         s.state_.file_format = v;
         if (v == "pgmyuv") {
           s.state_.file_format = "image2";
           s.state_.pgmyuv_compat = true;
           EngineLog(&s, AV_LOG_INFO, "pgmyuv format is deprecated, use image2");
         }
       }},
      {"i", DoNothing},
      {"y", DoNothing},
      {"map", [](S s, TValue, TValue v) { s.state_.stream_maps.push_back(ParseStreamMap(v)); }},
      {"map_meta_data",
       [](S s, TValue, TValue v) { s.state_.meta_data_maps.push_back(ParseMetaDataMap(v)); }},
      {"t", [](S s, TValue n, TValue v) { s.SetTime(n, v); }},
      {"fs", [](S s, TValue, TValue v) { s.state_.limit_filesize_bytes = OptionInt64(v); }},
      {"ss", [](S s, TValue n, TValue v) { s.SetTime(n, v); }},
      {"itsoffset", [](S s, TValue n, TValue v) { s.SetTime(n, v); }},
      {"itsscale", [](S s, TValue, TValue v) { SetTimeScale(s.state_, v); }},
      {"timestamp", [](S s, TValue n, TValue v) { s.SetTime(n, v); }},
      {"metadata", [](S s, TValue, TValue v) { AddMetadata(s.state_, v); }},
      {"dframes", [](S s, TValue, TValue v) { s.state_.max_data_frames = OptionInt(v); }},
      {"benchmark", DoNothing},
      {"timelimit",
       [](S s, TValue, TValue) {
         EngineLog(&s, AV_LOG_WARNING, "Warning: -timelimit not implemented on Windows");
       }},
      {"dump", [](S s, TValue, TValue v) { s.state_.do_pkt_dump = OptionBool(v); }},
      {"hex", [](S s, TValue, TValue v) { s.state_.do_hex_dump = OptionBool(v); }},
      {"re", [](S s, TValue, TValue v) { s.state_.rate_emu = OptionBool(v); }},
      {"loop_input", [](S s, TValue, TValue v) { s.state_.loop_input = OptionBool(v); }},
      {"loop_output", [](S s, TValue, TValue v) { s.state_.loop_output = OptionInt(v); }},
      {"v", [](S s, TValue, TValue v) { s.state_.verbose = OptionInt(v); }},
      {"target",
       [](S s, TValue, TValue v) {
         for (const char* norm : {"pal", "ntsc", "film"}) {
           const std::string prefix = std::string(norm) + "-";
           if (v.compare(0, prefix.size(), prefix) == 0) {
             s.SetTarget(v.substr(prefix.size()), norm, "ntsc");
             return;
           }
         }
         s.SetTarget(v, "auto", "ntsc");
       }},
      {"threads",
       [](S s, TValue n, TValue v) {
         const int count = OptionInt(v);
         if (count < 0) throw FFmpegException("Invalid value for " + n + ": " + v);
         s.state_.thread_count = count;
       }},
      {"vsync", [](S s, TValue, TValue v) { s.state_.video_sync_method = OptionInt(v); }},
      {"async", [](S s, TValue, TValue v) { s.state_.audio_sync_method = OptionInt(v); }},
      {"vglobal", [](S s, TValue, TValue v) { s.state_.video_global_header = OptionInt(v); }},
      {"programid", [](S s, TValue, TValue v) { s.state_.program_id = OptionInt(v); }},
      {"copyinkf", [](S s, TValue, TValue v) { s.state_.copy_initial_nonkeyframes = OptionInt(v); }},
      {"adrift_threshold",
       [](S s, TValue, TValue v) { s.state_.audio_drift_threshold_s = OptionFloat(v); }},
      {"dts_delta_threshold",
       [](S s, TValue, TValue v) { s.state_.dts_delta_threshold_s = OptionFloat(v); }},
      {"copyts", [](S s, TValue, TValue) { s.state_.copy_ts = true; }},
      {"xerror", [](S s, TValue, TValue) { s.state_.exit_on_error = true; }},
      {"shortest", [](S s, TValue, TValue v) { s.state_.shortest = OptionBool(v); }},
      {"b", [](S s, TValue n, TValue v) { s.SetBitrate(n, v); }},
      {"vb", [](S s, TValue n, TValue v) { s.SetBitrate(n, v); }},
      {"ab", [](S s, TValue n, TValue v) { s.SetBitrate(n, v); }},
      {"vframes", [](S s, TValue, TValue v) { s.state_.max_video_frames = OptionInt(v); }},
      {"aframes", [](S s, TValue, TValue v) { s.state_.max_audio_frames = OptionInt(v); }},
      {"r",
       [](S s, TValue, TValue v) {
         if (av::av_parse_video_rate(&s.state_.frame_rate, v.c_str()) < 0)
           throw FFmpegException("Incorrect frame rate");
       }},
      {"s",
       [](S s, TValue, TValue v) {
         if (av::av_parse_video_size(&s.state_.frame_width, &s.state_.frame_height, v.c_str()) < 0)
           throw FFmpegException("Incorrect frame size");
       }},
      {"aspect", [](S s, TValue, TValue v) { s.SetAspect(v); }},
      {"pix_fmt",
       [](S s, TValue, TValue v) {
         if (v == "list") return ListPixelFormats(&s);
         s.state_.frame_pix_fmt = av::av_get_pix_fmt(v.c_str());
         if (s.state_.frame_pix_fmt == AV_PIX_FMT_NONE)
           throw FFmpegException("Unknown pixel format requested: " + v);
       }},
      {"croptop", [](S s, TValue n, TValue v) { s.SetCrop(n, v); }},
      {"cropbottom", [](S s, TValue n, TValue v) { s.SetCrop(n, v); }},
      {"cropleft", [](S s, TValue n, TValue v) { s.SetCrop(n, v); }},
      {"cropright", [](S s, TValue n, TValue v) { s.SetCrop(n, v); }},
      {"padtop", [](S, TValue, TValue) { throw FFmpegException("Please use vfilters=pad"); }},
      {"padbottom", [](S, TValue, TValue) { throw FFmpegException("Please use vfilters=pad"); }},
      {"padleft", [](S, TValue, TValue) { throw FFmpegException("Please use vfilters=pad"); }},
      {"padright", [](S, TValue, TValue) { throw FFmpegException("Please use vfilters=pad"); }},
      {"padcolor", [](S, TValue, TValue) { throw FFmpegException("Please use vfilters=pad"); }},
      {"intra", [](S s, TValue, TValue v) { s.state_.intra_only = OptionBool(v); }},
      {"vn", [](S s, TValue, TValue v) { s.state_.video_disable = OptionBool(v); }},
      {"sameq", [](S s, TValue, TValue v) { s.state_.same_quality = OptionBool(v); }},
      {"deinterlace", [](S s, TValue, TValue v) { s.state_.do_deinterlace = OptionBool(v); }},
      {"psnr", [](S s, TValue, TValue v) { s.state_.do_psnr = OptionBool(v); }},
      {"qphist", [](S s, TValue, TValue v) { s.state_.qp_hist = OptionBool(v); }},
      {"force_fps", [](S s, TValue, TValue v) { s.state_.force_fps = OptionBool(v); }},
      {"an", [](S s, TValue, TValue v) { s.state_.audio_disable = OptionBool(v); }},
      {"sn", [](S s, TValue, TValue v) { s.state_.subtitle_disable = OptionBool(v); }},
      {"isync", [](S s, TValue, TValue v) { s.state_.input_sync = OptionBool(v); }},
      {"vdt", [](S s, TValue, TValue v) { s.state_.video_discard = OptionInt(v); }},
      {"dc", [](S s, TValue, TValue v) { s.state_.intra_dc_precision = OptionInt(v); }},
      {"vol", [](S s, TValue, TValue v) { s.state_.audio_volume = OptionInt(v); }},
      {"vc", [](S s, TValue, TValue v) { s.state_.video_channel = OptionInt(v); }},
      {"top", [](S s, TValue, TValue v) { s.state_.top_field_first = OptionInt(v); }},
      {"qscale",
       [](S s, TValue, TValue v) {
         const double q = OptionFloat(v);
         if (q <= 0 || q > 255) throw FFmpegException("qscale must be > 0.0 and <= 255");
         s.state_.video_qscale = static_cast<float>(q);
       }},
      {"rc_override", [](S s, TValue, TValue v) { s.state_.video_rc_override = v; }},
      {"vcodec", [](S s, TValue, TValue v) { s.SetCodecName(AVMEDIA_TYPE_VIDEO, v); }},
      {"acodec", [](S s, TValue, TValue v) { s.SetCodecName(AVMEDIA_TYPE_AUDIO, v); }},
      {"scodec", [](S s, TValue, TValue v) { s.SetCodecName(AVMEDIA_TYPE_SUBTITLE, v); }},
      {"me_threshold", [](S s, TValue, TValue v) { s.state_.me_threshold = OptionInt(v); }},
      {"pass",
       [](S s, TValue, TValue v) {
         const int pass = OptionInt(v);
         if (pass != 1 && pass != 2) throw FFmpegException("pass number can be only 1 or 2");
         s.state_.do_pass = pass;
       }},
      {"passlogfile", [](S s, TValue, TValue v) { s.state_.pass_log_file = v; }},
      {"vstats", [](S s, TValue n, TValue v) { s.SetVstats(n, v); }},
      {"vstats_file", [](S s, TValue n, TValue v) { s.SetVstats(n, v); }},
      {"vhook", [](S s, TValue, TValue v) { s.AddHook(v); }},
      {"vfilters", [](S s, TValue, TValue v) { s.state_.vfilters = v; }},
      {"vf", [](S s, TValue, TValue v) { s.state_.vfilters = v; }},
      {"intra_matrix", [](S s, TValue n, TValue v) { s.SetMatrix(n, v); }},
      {"inter_matrix", [](S s, TValue n, TValue v) { s.SetMatrix(n, v); }},
      {"vtag", [](S s, TValue, TValue v) { s.state_.video_codec_tag = CodecTag(v, "video"); }},
      {"atag", [](S s, TValue, TValue v) { s.state_.audio_codec_tag = CodecTag(v, "audio"); }},
      {"stag", [](S s, TValue, TValue v) { s.state_.subtitle_codec_tag = CodecTag(v, "subtitle"); }},
      {"newvideo", [](S s, TValue, TValue) { s.AddStream(AVMEDIA_TYPE_VIDEO); }},
      {"newaudio", [](S s, TValue, TValue) { s.AddStream(AVMEDIA_TYPE_AUDIO); }},
      {"newsubtitle", [](S s, TValue, TValue) { s.AddStream(AVMEDIA_TYPE_SUBTITLE); }},
      {"vlang", [](S s, TValue, TValue v) { s.state_.video_language = v; }},
      {"alang", [](S s, TValue, TValue v) { s.state_.audio_language = v; }},
      {"slang", [](S s, TValue, TValue v) { s.state_.subtitle_language = v; }},
      {"streamid", [](S s, TValue n, TValue v) { SetStreamId(s.state_, n, v); }},
      {"aq", [](S s, TValue, TValue v) { s.state_.audio_qscale = static_cast<float>(OptionFloat(v)); }},
      {"ar",
       [](S s, TValue, TValue v) {
         const int rate = OptionInt(v);
         if (rate > 0) s.state_.audio_sample_rate = rate;
       }},
      {"ac",
       [](S s, TValue, TValue v) {
         const int channels = OptionInt(v);
         if (channels > 0) s.state_.audio_channels = channels;
       }},
      {"sample_fmt",
       [](S s, TValue, TValue v) {
         if (v == "list") return ListSampleFormats(&s);
         s.state_.audio_sample_fmt = av::av_get_sample_fmt(v.c_str());
         if (s.state_.audio_sample_fmt == AV_SAMPLE_FMT_NONE)
           throw FFmpegException("Unknown sample format requested: " + v);
       }},
      {"tvstd", [](S s, TValue, TValue v) { s.state_.video_standard = v; }},
      {"muxdelay", [](S s, TValue, TValue v) { s.state_.mux_delay_s = OptionFloat(v); }},
      {"muxpreload", [](S s, TValue, TValue v) { s.state_.mux_preload_s = OptionFloat(v); }},
      {"absf", [](S s, TValue n, TValue v) { s.AddBitstreamFilter(n, v); }},
      {"vbsf", [](S s, TValue n, TValue v) { s.AddBitstreamFilter(n, v); }},
      {"sbsf", [](S s, TValue n, TValue v) { s.AddBitstreamFilter(n, v); }},
      {"apre", [](S s, TValue n, TValue v) { s.LoadPreset(n, v); }},
      {"vpre", [](S s, TValue n, TValue v) { s.LoadPreset(n, v); }},
      {"spre", [](S s, TValue n, TValue v) { s.LoadPreset(n, v); }},
      {"fpre", [](S s, TValue n, TValue v) { s.LoadPreset(n, v); }},
  };
  return kTable;
}

std::vector<std::string> TFFmpegOptions::OptionNames() {
  std::vector<std::string> names;
  for (const TOptionRow& row : OptionTable()) names.emplace_back(row.name);
  return names;
}

void TFFmpegOptions::SetOption(const std::string& name, const std::string& value) {
  static const std::unordered_map<std::string, THandler> kByName = [] {
    std::unordered_map<std::string, THandler> map;
    for (const TOptionRow& row : OptionTable()) map.emplace(row.name, row.handler);
    return map;
  }();
  const auto row = kByName.find(name);
  if (row != kByName.end())
    row->second(*this, name, value);
  else
    SetAVOption(name, value);
}

}  // namespace kestrel
