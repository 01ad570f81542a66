// One run of a task: the start-of-conversion setup, the read/decode/encode/write loop and
// its end. Created on the task's worker thread and destroyed there; it owns every codec,
// filter graph and scaler of the run, and closes what is left open when an error ends it.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/audio_output.h"
#include "engine/encoder_stats.h"
#include "engine/ffmpeg_core.h"
#include "engine/filter_graph.h"
#include "engine/stream_setup.h"
#include "engine/video_picture.h"

namespace kestrel {

struct TInputStream {
  int file = 0;
  int index = 0;
  AVStream* stream = nullptr;
  bool used = false;
  bool decoding = false;
  AVCodecContext* decoder = nullptr;
  int64_t pts = 0;                  // current timestamp, microseconds
  int64_t next_pts = kNoTimestamp;  // expected timestamp of the next data
  bool past_recording = false;
  bool flushed = false;
  int64_t start_wall = 0;  // native-rate reading
};

struct TOutputStream {
  int file = 0;
  int index = 0;
  int global_index = 0;
  TOutputStreamSetup* setup = nullptr;
  AVStream* stream = nullptr;
  int source = 0;       // index into the input stream table
  int sync_source = 0;  // sync stream
  bool encoding = false;
  AVCodecContext* encoder = nullptr;  // the setup's settings context, opened
  bool encoder_open = false;
  int64_t frames = 0;         // frames (or packets) handed on
  int64_t sync_position = 0;  // video: next frame number in the encoder's time base
  double out_time_s = 0;      // output time reached
  double end_time_s = 0;      // copy: end of the last packet written, seconds
  // Joining: the source stream for each input file in turn.
  std::vector<int> join_sources;
  bool filters_rescaled = false;  // a scale to the encoder size follows the user's filters
  bool wrote_frame = false;
  std::unique_ptr<TVideoFilterGraph> graph;
  std::unique_ptr<AudioOutput> audio;
  std::vector<AVBSFContext*> bitstream_filters;
  FILE* pass_log = nullptr;
  float quality = -1.0f;
  // Video encoding: what the encoder reported of its coded pictures.
  TEncodedFrameStats last_stats;
  std::array<uint64_t, 3> error_sum{};
  int64_t coded_frames = 0;
  TQpHistogram qp_histogram;
  uint8_t* subtitle_buffer = nullptr;
};

class TTranscoder {
 public:
  explicit TTranscoder(TCustomFFmpeg& engine);
  ~TTranscoder();
  TTranscoder(const TTranscoder&) = delete;
  TTranscoder& operator=(const TTranscoder&) = delete;

  // The whole conversion; raises FFmpegException on errors.
  void Run();

 private:
  // Setup.
  void PrepareTranscode();
  void BuildStreamTables();
  void ChooseSources();
  void PrepareCopy(TOutputStream& ost);
  void PrepareEncoding(TOutputStream& ost);
  void PrepareVideoGraph(TOutputStream& ost, int width, int height, AVPixelFormat format,
                         AVRational sar);
  void RebuildVideoGraph(TOutputStream& ost, int width, int height, AVPixelFormat format,
                         AVRational sar);
  int JoinedSource(const TOutputStream& ost, int file, int first_choice) const;
  void OpenPassLog(TOutputStream& ost);
  void OpenEncoders();
  void OpenDecoders();
  void PrepareBitstreamFilters(TOutputStream& ost);
  void CopyMetadataAndChapters();
  void LogStreamMapping();
  void WriteHeaders();

  // Loop.
  void Loop();
  int ChooseInput();
  int ChooseJoinedInput();
  // End of the joined input being read: its decoders are drained and the next input
  // continues the output's timestamps. False after the last input.
  bool NextJoinedInput();
  void DumpPacket(const AVPacket& packet, AVRational time_base) const;
  void AdjustTimestamps(TInputFile& file, TInputStream& ist, AVPacket& packet);
  bool OutputPacket(TInputStream& ist, const AVPacket* packet);
  void CopyPacket(TInputStream& ist, TOutputStream& ost, const AVPacket& packet);
  void HandleDecodedFrame(TInputStream& ist, AVFrame* frame);
  void HandleSubtitle(TInputStream& ist, AVSubtitle& subtitle);
  void Finish();

  // Video path.
  void PreProcess(AVFrame* frame, int64_t pts_us);
  void CallHook(AVFrame* frame, int64_t pts_us);
  void FeedVideo(TInputStream& ist, TOutputStream& ost, AVFrame* frame, int64_t pts_us);
  void DrainGraph(TOutputStream& ost);
  void VideoOut(TOutputStream& ost, AVFrame* frame, int64_t pts_us);
  void EncodeVideo(TOutputStream& ost, AVFrame* frame);
  void Preview(TOutputStream& ost, const AVFrame& frame);

  // Writing and reporting.
  void WritePacket(TOutputStream& ost, AVPacket* packet);
  void FilterAndWrite(TOutputStream& ost, size_t filter, AVPacket* packet);
  void ReceiveEncodedPackets(TOutputStream& ost);
  void WriteVideoStats(const TOutputStream& ost, int frame_size);
  std::string VideoReportText(const TOutputStream& ost, bool last) const;
  void Report(bool last, int file_index);
  int64_t OutputSize() const;
  void CloseCodecs();
  void Log(int level, const std::string& text) const;
  bool BreakRequested() const;
  void CheckPause();

  TCustomFFmpeg& engine_;
  const TOptionState& options_;
  TEngineFiles& files_;
  std::vector<TInputStream> inputs_;
  std::vector<std::vector<int>> file_streams_;  // per input file: input stream indexes
  std::vector<bool> file_eof_;
  std::vector<bool> no_packet_;
  std::vector<TOutputStream> outputs_;
  int join_input_ = 0;  // joining: the input file being read
  AVFrame* frame_ = nullptr;
  AVFrame* filtered_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVPacket* encoded_ = nullptr;  // video packets received from the encoders

  int64_t start_wall_ = 0;
  int64_t last_report_ = 0;
  int64_t video_bytes_ = 0, audio_bytes_ = 0, header_bytes_ = 0;
  int64_t dup_frames_ = 0, drop_frames_ = 0;
  bool counters_changed_ = false;
  int decoded_pictures_ = 0;
  bool hook_active_ = false;
  TRgbPicture hook_picture_;
  TRgbPicture preview_picture_;
  int64_t last_preview_ = 0;
  int preview_flags_ = 0;
  int64_t packets_written_ = 0;
  FILE* vstats_ = nullptr;  // the per-frame statistics file, opened on first use
};

}  // namespace kestrel
