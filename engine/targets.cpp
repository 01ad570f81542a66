// Disc and camcorder targets: one call sets the codecs, container, picture, rates and
// mux settings a player of that kind expects, for the PAL, NTSC or film norm.
#include <cmath>

#include "engine/engine_log.h"
#include "engine/ffmpeg_options.h"
#include "engine/option_values.h"

namespace kestrel {
namespace {

enum TNorm { kPal, kNtsc, kFilm };

enum class TChannels { kStereo, kStereoWhenMono };

struct TTargetRow {
  const char* type;
  const char* video_codec;  // "" = leave as it is
  const char* audio_codec;
  const char* format;
  const char* size_pal;
  const char* size_ntsc;  // NTSC and film
  const char* gop_pal;    // "" = leave as it is
  const char* gop_other;
  // Library options in the order they are set. The svcd row's "flags=+scan_offset" of
  // older libraries is today the MPEG-2 encoder's own "scan_offset" option.
  std::vector<std::pair<const char*, const char*>> library_options;
  int sample_rate;
  TChannels channels;
  double mux_preload_s;  // 0 = leave as it is
  const char* aspect;    // set when no aspect is pending; "" = never
};

const std::vector<TTargetRow>& TargetTable() {
  static const std::vector<TTargetRow> kTable = {
      {"vcd",
       "mpeg1video",
       "mp2",
       "vcd",
       "352x288",
       "352x240",
       "15",
       "18",
       {{"b", "1150000"},
        {"maxrate", "1150000"},
        {"minrate", "1150000"},
        {"bufsize", "327680"},
        {"ab", "224000"},
        {"packetsize", "2324"},
        {"muxrate", "1411200"}},
       44100,
       TChannels::kStereo,
       0.44,
       "4:3"},
      {"svcd",
       "mpeg2video",
       "mp2",
       "svcd",
       "480x576",
       "480x480",
       "15",
       "18",
       {{"b", "2040000"},
        {"maxrate", "2516000"},
        {"minrate", "0"},
        {"bufsize", "1835008"},
        {"scan_offset", "1"},
        {"ab", "224000"},
        {"packetsize", "2324"}},
       44100,
       TChannels::kStereoWhenMono,
       0,
       "4:3"},
      {"dvd",
       "mpeg2video",
       "ac3",
       "dvd",
       "720x576",
       "720x480",
       "15",
       "18",
       {{"b", "6000000"},
        {"maxrate", "9000000"},
        {"minrate", "0"},
        {"bufsize", "1835008"},
        {"ab", "448000"},
        {"packetsize", "2048"},
        {"muxrate", "10080000"}},
       48000,
       TChannels::kStereoWhenMono,
       0,
       "16:9"},
      {"dv", "", "", "dv", "720x576", "720x480", "", "", {}, 48000, TChannels::kStereo, 0, ""},
      {"dv50", "", "", "dv", "720x576", "720x480", "", "", {}, 48000, TChannels::kStereo, 0, ""},
  };
  return kTable;
}

int RateKey(AVRational rate) {
  return static_cast<int>(std::lround(rate.num * 1000.0 / rate.den));
}

// PAL for 25 fps, NTSC for 29.97 and 23.976 fps, -1 for anything else.
int NormOfRate(AVRational rate) {
  if (rate.den == 0 || rate.num == 0) return -1;
  const int key = RateKey(rate);
  if (key == 25000) return kPal;
  if (key == 29970 || key == 23976) return kNtsc;
  return -1;
}

}  // namespace

int TFFmpegOptions::DetectNorm(const std::string& norm, const std::string& fallback) {
  if (norm == "pal") return kPal;
  if (norm == "ntsc") return kNtsc;
  if (norm == "film") return kFilm;
  if (state_.frame_rate.den == 0) throw FFmpegException("frame_rate is invalid.");
  int detected = NormOfRate(state_.frame_rate);
  if (detected < 0) {
    for (const AVRational rate : OpenedInputVideoRates()) {
      detected = NormOfRate(rate);
      if (detected >= 0) break;
    }
  }
  if (detected < 0) detected = fallback == "film" ? kFilm : fallback == "ntsc" ? kNtsc : kPal;
  if (state_.verbose > 0)
    EngineLog(this, AV_LOG_VERBOSE,
              FormatText("Assuming %s for target.", detected == kPal ? "PAL" : "NTSC"));
  return detected;
}

void TFFmpegOptions::SetTarget(const std::string& type, const std::string& norm,
                               const std::string& fallback) {
  const int detected = DetectNorm(norm, fallback);
  ApplyTargetSettings(type, detected);
}

void TFFmpegOptions::ApplyTargetSettings(const std::string& type, int norm) {
  const TTargetRow* row = nullptr;
  for (const TTargetRow& candidate : TargetTable())
    if (type == candidate.type) row = &candidate;
  if (!row) throw FFmpegException("Unknown target type");

  if (*row->video_codec) SetOption("vcodec", row->video_codec);
  if (*row->audio_codec) SetOption("acodec", row->audio_codec);
  SetOption("f", row->format);
  SetOption("s", norm == kPal ? row->size_pal : row->size_ntsc);
  if (type == "dv50") SetOption("pix_fmt", "yuv422p");
  if (type == "dv") SetOption("pix_fmt", norm == kPal ? "yuv420p" : "yuv411p");
  SetOption("r", norm == kPal ? "25" : norm == kNtsc ? "30000/1001" : "24000/1001");
  if (*row->gop_pal) SetAVOption("g", norm == kPal ? row->gop_pal : row->gop_other);
  for (const auto& [name, value] : row->library_options) {
    if (!SetAVOption(name, value))
      EngineLog(this, AV_LOG_WARNING,
                FormatText("Target %s: option %s=%s was not accepted", type.c_str(), name, value));
  }
  state_.audio_sample_rate = row->sample_rate;
  if (row->channels == TChannels::kStereo || state_.audio_channels == 1) state_.audio_channels = 2;
  if (row->mux_preload_s > 0) state_.mux_preload_s = row->mux_preload_s;
  if (*row->aspect && state_.frame_aspect_ratio == 0) {
    SetOption("aspect", row->aspect);
    EngineLog(this, AV_LOG_INFO, FormatText("Assuming %s for aspect ratio", row->aspect));
  }
}

}  // namespace kestrel
