// The files one engine has opened and what each output stream was given when it was
// created: the state between the opening of files and the start of a conversion.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/option_state.h"
#include "medialib/av.h"
#include "medialib/text_utils.h"

namespace kestrel {

// The output defaults an opened input left in the pending options (its picture and sound).
struct TInputDefaults {
  bool video = false;
  int width = 0, height = 0;
  double aspect = 0;
  AVPixelFormat pix_fmt = AV_PIX_FMT_NONE;
  AVRational rate{0, 0};
  bool audio = false;
  int channels = 0, sample_rate = 0;
  AVSampleFormat sample_fmt = AV_SAMPLE_FMT_NONE;
};

struct TInputFile {
  AVFormatContext* context = nullptr;
  std::string name;
  int64_t ts_offset_us = 0;  // added to every timestamp read from the file
  // Output of an input seek ("ss" before the input): decoded data before this time (after
  // the offset) is dropped; kNoTimestamp when no seek was asked.
  int64_t discard_before_us = kNoTimestamp;
  std::array<std::optional<double>, kMaxStreams> ts_scale{};
  std::vector<const AVCodec*> decoders;  // chosen by name per stream, null = the default
  TInputDefaults defaults;
};

// What a new output stream takes from the pending options.
struct TOutputStreamSetup {
  AVStream* stream = nullptr;
  AVMediaType type = AVMEDIA_TYPE_UNKNOWN;
  bool copy = false;
  const AVCodec* encoder = nullptr;    // null for copy; for subtitles null when none named
  AVCodecContext* settings = nullptr;  // encoder settings gathered at creation (owned)
  std::vector<TBitstreamFilterSpec> bitstream_filters;
  // Video.
  int width = 0, height = 0;  // 0 = from the source (less crop)
  AVRational frame_rate{0, 0};
  double aspect = 0;  // display aspect, 0 = from the source
  int crop_top = 0, crop_bottom = 0, crop_left = 0, crop_right = 0;
  std::string filters;  // the user's filter text
  bool force_fps = false;
  // Audio.
  int volume = 256;
};

struct TOutputFile {
  AVFormatContext* context = nullptr;
  std::string name;
  std::vector<TOutputStreamSetup> streams;
  bool file_opened = false;
};

struct TEngineFiles {
  std::vector<TInputFile> inputs;
  std::vector<TOutputFile> outputs;
  bool joining = false;
  ~TEngineFiles();
  void CloseAll();
};

// Frees a stream setup's encoder settings.
void FreeStreamSetup(TOutputStreamSetup& setup);

// The codec of that name: "Unknown %s '%s'", "Invalid %s type '%s'" and the experimental
// texts as the error. An empty name succeeds with null. `strict` is the
// strict_std_compliance setting the codec would be used with.
bool FindCodec(const std::string& name, AVMediaType type, bool encoder, int strict,
               const AVCodec** codec, std::string* error);

}  // namespace kestrel
