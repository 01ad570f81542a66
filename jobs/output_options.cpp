#include "jobs/output_options.h"

#include <array>
#include <limits>
#include <string_view>

#include "jobs/frame_zoom.h"
#include "jobs/option_text.h"
#include "probe/av_probe.h"
#include "settings/catalogue_keys.h"
#include "settings/profile_keys.h"

namespace kestrel::jobs {
namespace {

using settings::ProfileSetting;

constexpr std::string_view kAsSource = "as source";
constexpr std::string_view kUnchangedVolume = "256";

struct TDiscTarget {
  std::string_view format;
  std::int32_t target_type;    // 1 vcd, 2 svcd, 3 dvd
  std::int32_t norm_type;      // 1 pal, 2 ntsc
  std::string_view wide_size;  // the frame size that makes a DVD 16:9; empty: always 4:3
};

constexpr std::array<TDiscTarget, 6> kDiscTargets = {{
    {"ntsc-dvd", 3, 2, "720x480"},
    {"pal-dvd", 3, 1, "720x576"},
    {"ntsc-vcd", 1, 2, ""},
    {"pal-vcd", 1, 1, ""},
    {"ntsc-svcd", 2, 2, ""},
    {"pal-svcd", 2, 1, ""},
}};

// Encoders named in the output options; anything else leaves the container's default.
constexpr std::array<std::string_view, 21> kVideoEncoders = {
    "mpeg4",   "libxvid", "mpeg1video", "mpeg2video", "msmpeg4", "msmpeg4v1", "msmpeg4v2",
    "huffyuv", "dvvideo", "rawvideo",   "h263p",      "h263",    "rv10",      "rv20",
    "ljpeg",   "mjpeg",   "svq1",       "zlib",       "wmv1",    "wmv2",      "libx264"};

// Profile kinds whose name is also the container to write.
constexpr std::array<std::string_view, 10> kContainerFormats = {
    "ipod", "3gp", "3g2", "avi", "psp", "mov", "vcd", "flv", "mpegts", "vob"};

// The profile containers that are MPEG program streams, like the DVD's.
constexpr std::array<std::string_view, 2> kProgramStreams = {"vcd", "vob"};

constexpr std::int32_t kSvcdTarget = 2;
constexpr int kNtscDvHeight = 480;

template <size_t N>
bool OneOf(const std::array<std::string_view, N>& table, std::string_view value) {
  for (std::string_view entry : table) {
    if (entry == value) return true;
  }
  return false;
}

// A bit rate in bit/s from a profile's kbit/s; one beyond 32 bits cannot be passed on.
std::int32_t BitsPerSecond(long double kbps, std::string_view what, const std::string& text) {
  const long double bps = kbps * 1000;
  if (bps > std::numeric_limits<std::int32_t>::max()) {
    throw TOptionBuildError(std::string(what) + " '" + text + "' is out of range");
  }
  return static_cast<std::int32_t>(Trunc(bps));
}

class TBuilder {
 public:
  TBuilder(const TBuildInputs& inputs, TOutputOptions& out, TInputOptions& in)
      : inputs_(inputs),
        out_(out),
        in_(in),
        format_(settings::ReadFormat(inputs.catalogue, inputs.code)),
        format_lower_(Lower(format_)) {}

  void Build() {
    ApplyDiscTarget();
    if (Trim(Para(ProfileSetting::kVideoEncoder)).empty()) {
      BuildAudioOnly();
      return;
    }
    ApplyVideoEncoder();
    if (inputs_.source.video_streams > 0) {
      ApplyVideo();
    } else {
      out_.DisableVideo = true;
    }
    ApplyAudio();
  }

 private:
  std::string Para(ProfileSetting setting) const {
    return settings::ReadPara(inputs_.settings, inputs_.code, setting,
                              settings::ParaReader::kOptionBuilder);
  }

  void ApplyDiscTarget() {
    for (const TDiscTarget& disc : kDiscTargets) {
      if (disc.format != format_lower_) continue;
      out_.TargetType = disc.target_type;
      out_.NormType = disc.norm_type;
      const bool wide =
          !disc.wide_size.empty() && Para(ProfileSetting::kVideoSize) == disc.wide_size;
      out_.FrameAspectRatio = wide ? "16:9" : "4:3";
    }
  }

  void BuildAudioOnly() {
    const std::string encoder = inputs_.settings.ReadString(
        settings::ProfileSection(inputs_.code),
        settings::KeysOf(ProfileSetting::kAudioEncoder).para_key, settings::kAudioOnlyAudioEncoder);
    out_.AudioCodec = AudioEncoderName(encoder);
    if (auto channels = PositiveInteger(Para(ProfileSetting::kChannel))) {
      out_.AudioChannels = *channels;
    }
    if (auto rate = PositiveInteger(Para(ProfileSetting::kSampleRate))) {
      out_.AudioSampleRate = *rate;
    }
    ApplyAudioBitrate();
    ApplyVolume();
    in_.ExtOptions = "vn=1";
    out_.DisableVideo = true;
    out_.DisableSubtitle = true;
  }

  void ApplyVideoEncoder() {
    const std::string encoder = Para(ProfileSetting::kVideoEncoder);
    if (!OneOf(kVideoEncoders, encoder)) return;
    out_.VideoCodec = encoder;
    if (encoder == "mpeg2video" && Mpeg2MakesDvd()) out_.TargetType = 3;
    if (encoder == "libx264") out_.VideoPreset = X264Preset();
  }

  // MPEG-2 video selects the DVD target, except in an SVCD (which is MPEG-2 already) and in
  // a container of the profile's own that is not an MPEG program stream (a transport
  // stream must not take the DVD's mux rate and packets).
  bool Mpeg2MakesDvd() const {
    if (out_.TargetType == kSvcdTarget) return false;
    return !OneOf(kContainerFormats, format_lower_) || OneOf(kProgramStreams, format_lower_);
  }

  std::string X264Preset() const {
    if (format_lower_ == "psp") return "libx264-psp";
    if (format_lower_ == "ipod") return "libx264-ipod";
    if (format_lower_ == "ps3") return "libx264-ps3";
    return "libx264-mp4";
  }

  void ApplyVideo() {
    ApplyVideoBitrate();
    const std::string rate = Para(ProfileSetting::kFrameRate);
    if (rate != kAsSource) {
      if (auto value = ParseNumber(rate); value && *value > 0) out_.FrameRate = rate;
    }
    if (OneOf(kContainerFormats, format_lower_)) out_.FileFormat = format_;

    const TFrameSize source{inputs_.source.width, inputs_.source.height};
    const TFrameSize target = TargetFrameSize(Para(ProfileSetting::kVideoSize), out_.VideoCodec,
                                              source, inputs_.ask_frame_size);
    for (std::int32_t* crop : {&out_.CropTop, &out_.CropBottom, &out_.CropLeft, &out_.CropRight}) {
      if (*crop == -1) *crop = 0;
    }
    ApplyZoom(inputs_.job, source, target, out_);
    // DV pictures of the NTSC height are 4:1:1; the encoder takes no other layout for them.
    if (out_.VideoCodec == "dvvideo" && target.height == kNtscDvHeight) {
      AddOutputLine("pix_fmt=yuv411p");
    }
  }

  void AddOutputLine(const std::string& line) {
    if (!out_.ExtOptions.empty()) out_.ExtOptions += "\n";
    out_.ExtOptions += line;
  }

  void ApplyVideoBitrate() {
    const std::string text = Para(ProfileSetting::kVideoBitRate);
    const auto value = text == kAsSource ? std::nullopt : ParseInteger(text);
    if (value) {
      if (*value > 0) {
        out_.VideoBitrate = BitsPerSecond(*value, "Video bit rate", text);
      }
    } else if (inputs_.source.bit_rate > 0) {
      out_.VideoBitrate = inputs_.source.bit_rate;
    }
  }

  void ApplyAudio() {
    out_.AudioCodec = AudioEncoderName(Para(ProfileSetting::kAudioEncoder));
    if (Trim(out_.AudioCodec).empty()) out_.DisableAudio = true;
    const std::string channels = Para(ProfileSetting::kChannel);
    if (channels != kAsSource) {
      if (auto value = ParseInteger(channels)) out_.AudioChannels = *value;
    }
    ApplyVolume();
    ApplyAudioBitrate();
    if (auto rate = PositiveInteger(Para(ProfileSetting::kSampleRate))) {
      out_.AudioSampleRate = *rate;
    }
  }

  void ApplyAudioBitrate() {
    const std::string text = Para(ProfileSetting::kAudioBitRate);
    if (text == kAsSource || Trim(text).empty()) return;
    const auto value = ParseNumber(text);
    if (!value) return;
    if (*value * 1000 <= 0) return;
    out_.AudioBitrate = BitsPerSecond(*value, "Audio bit rate", text);
  }

  void ApplyVolume() {
    const std::string text = Para(ProfileSetting::kVolume);
    if (text == kUnchangedVolume) return;
    const auto value = ParseInteger(text);
    if (!value) throw TOptionBuildError("'" + text + "' is not a valid integer value");
    out_.AudioVolume = *value;
  }

  static std::optional<std::int32_t> PositiveInteger(const std::string& text) {
    if (text == kAsSource) return std::nullopt;
    auto value = ParseInteger(text);
    if (!value || *value <= 0) return std::nullopt;
    return value;
  }

  // The AMR-NB encoder's old name; the engine maps the rest of the old names.
  static std::string AudioEncoderName(const std::string& stored) {
    return stored == "libamr_nb" ? "libopencore_amrnb" : stored;
  }

  const TBuildInputs& inputs_;
  TOutputOptions& out_;
  TInputOptions& in_;
  const std::string format_;
  const std::string format_lower_;
};

}  // namespace

TSourceVideo SourceVideoOf(TCustomAVProbe& probe) {
  TSourceVideo source;
  source.video_streams = std::max(probe.VideoStreamCount(), 0);
  if (source.video_streams == 0) return source;
  TVideoStreamInfo info;
  if (probe.GetVideoStreamInfo(probe.FirstVideoStreamIndex(), info)) {
    source.width = info.Width;
    source.height = info.Height;
    source.bit_rate = info.BitRate;
  }
  return source;
}

void BuildOutputOptions(const TBuildInputs& inputs, TOutputOptions& out, TInputOptions& in) {
  TBuilder(inputs, out, in).Build();
}

}  // namespace kestrel::jobs
