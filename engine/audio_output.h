// The audio output path of one output stream: decoded samples of its source stream in,
// encoded packets out.
//
// Each decoded buffer is scaled by "vol", converted to the encoder's sample format, rate
// and channel layout, kept in step with its timestamps ("async"), cut into encoder frames
// through a sample FIFO, encoded, and each packet is handed to the write callback with its
// timestamps in the output stream's time base. Runs on the task's worker thread; one object
// per output audio stream.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/audio_resampler.h"
#include "engine/audio_support.h"
#include "medialib/av.h"

namespace kestrel {

struct AudioOutputOptions {
  // "async": 0 timestamps only place the output; 1 drops samples or inserts silence when
  // the drift passes 50 samples on the first buffer (and while whole buffers are cut) or
  // `audio_drift_threshold_s` later; above 1 also nudges the resampler by at most this
  // many samples per buffer for smaller drifts.
  int audio_sync_method = 0;
  double audio_drift_threshold_s = 0.1;  // "adrift_threshold"
  int verbose = 1;                       // the verbose level; drift lines are logged above 2
  bool exit_on_error = false;            // "xerror": a failed sample conversion ends the task
  int audio_volume = 256;                // "vol", 256 = unchanged
  int64_t start_time_us = 0;             // "ss": input time that maps to output time 0
};

// Receives each encoded packet: stream index set, pts/dts/duration in the stream's time
// base. The callee may take the packet's reference (av_packet_move_ref); what is left is
// released after the call returns.
using AudioPacketWriter = std::function<void(AVPacket& packet)>;

class AudioOutput {
 public:
  // `encoder` is opened and stays owned by the caller; it must outlive this object.
  // `stream_time_base` is the output stream's time base after the header was written.
  // Without `log`, messages take the engine's log route with this object as sender.
  AudioOutput(AVCodecContext* encoder, AVRational stream_time_base, int stream_index,
              const AudioOutputOptions& options, AudioPacketWriter write, AudioLogSink log = {});
  ~AudioOutput();
  AudioOutput(const AudioOutput&) = delete;
  AudioOutput& operator=(const AudioOutput&) = delete;

  // One decoded buffer of the source stream (any sample format, rate and layout; the frame
  // is not modified). `pts_us` is the source stream's current timestamp in microseconds, or
  // AV_NOPTS_VALUE when unknown (no synchronisation step then). Raises FFmpegException.
  void Write(const AVFrame& frame, int64_t pts_us);

  // End of the source stream: drains the resampler, encodes what the FIFO holds (padded to
  // a whole frame for encoders that take no short last frame) and flushes the encoder.
  // Later calls do nothing. Raises FFmpegException.
  void Flush();

  // True when the rates or channel counts differ or "async" is above 1 (known once the
  // first buffer arrived; stays set).
  bool resampling() const { return resampling_; }
  // Output time of the first sample not yet encoded, in samples of the encoder's rate.
  int64_t sync_position() const { return sync_position_; }
  // Bytes of encoded audio handed to the writer so far.
  int64_t encoded_bytes() const { return encoded_bytes_; }

 private:
  struct SyncStep {
    int64_t drop_in = 0;    // input samples to discard from this buffer
    int64_t insert_in = 0;  // input samples of silence to put before it
  };

  void Log(TLogLevel level, const std::string& text) const;
  // Checks the working sizes for `in_samples` input samples; returns the converted-sample
  // capacity they call for.
  int CheckBufferSizes(int64_t in_samples, const AudioParams& in) const;
  void PrepareConverter(const AudioParams& in);
  SyncStep Synchronise(int64_t pts_us, const AudioParams& in);
  int64_t QueuedSamples() const;
  // False when a failed conversion dropped the samples (without "xerror").
  bool InsertSilence(int64_t samples, const AudioParams& in);
  bool ConvertAndEmit(const uint8_t* const* data, int samples, const AudioParams& in);
  void DrainConverter();
  void Emit(const uint8_t* const* data, int samples);
  AVFrame* NewFrame(int samples);
  void EncodeSamples(const uint8_t* const* data, int samples);
  void EncodeFromFifo(int samples, int frame_samples);
  void Send(AVFrame* frame);
  void ReceivePackets();

  AVCodecContext* encoder_;
  AVRational stream_time_base_;
  int stream_index_;
  AudioOutputOptions options_;
  AudioPacketWriter write_;
  AudioLogSink log_;

  AudioParams out_;
  int out_bytes_per_sample_;
  int frame_size_;         // samples per encoder frame; 0 for sample-by-sample encoders
  bool small_last_frame_;  // the encoder takes a short last frame
  bool resampling_ = false;
  bool is_start_ = true;  // no drift adjustment made yet
  bool flushed_ = false;
  int64_t sync_position_ = 0;
  int64_t encoded_bytes_ = 0;

  std::unique_ptr<AudioResampler> converter_;  // null while the input passes unchanged
  AudioParams converter_input_;                // what converter_ (or the pass-through) expects
  bool have_input_ = false;
  AudioSampleBuffer converted_;
  AVAudioFifo* fifo_ = nullptr;
  AVPacket* packet_ = nullptr;
};

}  // namespace kestrel
