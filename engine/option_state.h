// The option state of one conversion engine: every value the options set, with its
// default. A default-constructed TOptionState is the state after a task reset. Most of it
// is pending: the next input open, output open or new stream consumes it.
#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libavutil/rational.h>
#include <libavutil/samplefmt.h>
}

namespace kestrel {

constexpr int kMaxStreams = 20;
constexpr int kMatrixSize = 64;
constexpr int kBicubicScalerFlags = 4;
constexpr int64_t kUnlimitedRecordingTime = INT64_MAX;
constexpr float kNoAudioQuality = -99999.0f;

// "map": output streams taken from input file.stream, synchronised on syncfile.syncstream.
struct TStreamMap {
  int file_index = 0;
  int stream_index = 0;
  int sync_file_index = 0;
  int sync_stream_index = 0;
};

// "map_meta_data": metadata of an input file copied into an output file.
struct TMetaDataMap {
  int out_file = 0;
  int in_file = 0;
};

// One bitstream filter of a chain: its name and the text after the first "=".
struct TBitstreamFilterSpec {
  std::string name;
  std::string args;
};

using TMatrix = std::array<uint16_t, kMatrixSize>;

struct TOptionState {
  // Run.
  int verbose = 1;                       // "v"
  bool exit_on_error = false;            // "xerror"
  bool loop_input = false;               // "loop_input"
  int loop_output = -1;                  // "loop_output", -1 = no loop
  int video_sync_method = -1;            // "vsync", -1 = automatic
  int audio_sync_method = 0;             // "async"
  double audio_drift_threshold_s = 0.1;  // "adrift_threshold"
  double dts_delta_threshold_s = 10.0;   // "dts_delta_threshold"
  bool copy_ts = false;                  // "copyts"
  bool shortest = false;                 // "shortest"
  int copy_initial_nonkeyframes = 0;     // "copyinkf"
  bool rate_emu = false;                 // "re"
  bool input_sync = false;               // "isync"
  bool do_pkt_dump = false;              // "dump"
  bool do_hex_dump = false;              // "hex"
  bool do_psnr = false;                  // "psnr"
  bool qp_hist = false;                  // "qphist"
  bool force_fps = false;                // "force_fps"
  int video_global_header = 0;           // "vglobal"
  int max_video_frames = INT_MAX;        // "vframes"
  int max_audio_frames = INT_MAX;        // "aframes"
  int max_data_frames = INT_MAX;         // "dframes"
  int64_t limit_filesize_bytes = 0;      // "fs", 0 = none
  int do_pass = 0;                       // "pass"
  std::string pass_log_file;             // "passlogfile"
  std::string vstats_filename;           // "vstats", "vstats_file"; empty = none
  int sws_flags = kBicubicScalerFlags;
  int thread_count = 0;            // "threads": codec threads, 0 = the libraries' choice
  int64_t total_duration_us = -1;  // expected output duration, -1 unknown

  // Next file.
  std::string file_format;  // "f", empty = guess
  bool pgmyuv_compat = false;
  int64_t start_time_us = 0;                                        // "ss"
  int64_t input_ts_offset_us = 0;                                   // "itsoffset"
  int64_t recording_time_us = kUnlimitedRecordingTime;              // "t"
  int64_t rec_timestamp_s = 0;                                      // "timestamp"
  std::array<std::optional<double>, kMaxStreams> input_ts_scale{};  // "itsscale"
  std::vector<std::pair<std::string, std::string>> metadata;        // "metadata"
  std::vector<TStreamMap> stream_maps;                              // "map"
  std::vector<TMetaDataMap> meta_data_maps;                         // "map_meta_data"
  std::array<int, kMaxStreams> stream_id_map{};                     // "streamid"
  int program_id = 0;                                               // "programid", 0 = none
  double mux_delay_s = 0.7;                                         // "muxdelay"
  double mux_preload_s = 0.5;                                       // "muxpreload"

  // Next video stream.
  int frame_width = 0;  // "s", 0x0 = from input
  int frame_height = 0;
  double frame_aspect_ratio = 0;                  // "aspect", 0 = from input
  AVPixelFormat frame_pix_fmt = AV_PIX_FMT_NONE;  // "pix_fmt"
  AVRational frame_rate{0, 0};                    // "r", 0/0 = from input
  int crop_top = 0, crop_bottom = 0, crop_left = 0, crop_right = 0;
  std::string video_codec_name;         // "vcodec" other than "copy"
  bool video_stream_copy = false;       // "vcodec" "copy"
  bool video_disable = false;           // "vn"
  int video_discard = 0;                // "vdt"
  uint32_t video_codec_tag = 0;         // "vtag"
  std::string video_language;           // "vlang"
  float video_qscale = 0;               // "qscale", 0 = none
  bool intra_only = false;              // "intra"
  bool same_quality = false;            // "sameq"
  bool do_deinterlace = false;          // "deinterlace"
  int top_field_first = -1;             // "top"
  int me_threshold = 0;                 // "me_threshold"
  int intra_dc_precision = 8;           // "dc"
  std::string video_rc_override;        // "rc_override", parsed by stream setup
  std::optional<TMatrix> intra_matrix;  // "intra_matrix"
  std::optional<TMatrix> inter_matrix;  // "inter_matrix"
  std::string vfilters;                 // "vfilters", "vf"
  bool using_vhook = false;             // a "vhook" plug-in was added
  int video_channel = 0;                // "vc", 0 = none
  std::string video_standard;           // "tvstd"

  // Next audio stream.
  int audio_sample_rate = 44100;         // "ar"
  int audio_channels = 2;                // "ac"
  float audio_qscale = kNoAudioQuality;  // "aq"
  std::string audio_codec_name;          // "acodec" other than "copy"
  bool audio_stream_copy = false;
  bool audio_disable = false;                            // "an"
  uint32_t audio_codec_tag = 0;                          // "atag"
  std::string audio_language;                            // "alang"
  int audio_volume = 256;                                // "vol", 256 = unchanged
  AVSampleFormat audio_sample_fmt = AV_SAMPLE_FMT_NONE;  // "sample_fmt"

  // Next subtitle stream.
  std::string subtitle_codec_name;  // "scodec" other than "copy"
  bool subtitle_stream_copy = false;
  bool subtitle_disable = false;    // "sn"
  uint32_t subtitle_codec_tag = 0;  // "stag"
  std::string subtitle_language;    // "slang"

  // Bitstream filter chains for the next stream of each kind ("vbsf", "absf", "sbsf").
  std::vector<TBitstreamFilterSpec> video_bitstream_filters;
  std::vector<TBitstreamFilterSpec> audio_bitstream_filters;
  std::vector<TBitstreamFilterSpec> subtitle_bitstream_filters;
};

}  // namespace kestrel
