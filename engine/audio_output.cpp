#include "engine/audio_output.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>

#include "engine/audio_volume.h"
#include "medialib/text_utils.h"

namespace kestrel {
namespace {

constexpr double kMinimumDriftSamples = 50;
constexpr int kSilenceChunkSamples = 8192;

struct FrameDeleter {
  void operator()(AVFrame* frame) const { av::av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

[[noreturn]] void RaiseOutOfMemory() {
  RaiseAudioError("Out of memory in do_audio_out");
}

AVRational EncoderTimeBase(const AVCodecContext& encoder) {
  if (encoder.time_base.num > 0 && encoder.time_base.den > 0) return encoder.time_base;
  return AVRational{1, encoder.sample_rate};
}

const char* SampleFormatName(AVSampleFormat format) {
  const char* name = av::av_get_sample_fmt_name(format);
  return name ? name : "none";
}

}  // namespace

AudioOutput::AudioOutput(AVCodecContext* encoder, AVRational stream_time_base, int stream_index,
                         const AudioOutputOptions& options, AudioPacketWriter write,
                         AudioLogSink log)
    : encoder_(encoder),
      stream_time_base_(stream_time_base),
      stream_index_(stream_index),
      options_(options),
      write_(std::move(write)),
      log_(std::move(log)),
      out_(encoder ? AudioParams::OfEncoder(*encoder) : AudioParams{}),
      out_bytes_per_sample_(encoder ? av::av_get_bytes_per_sample(encoder->sample_fmt) : 0),
      frame_size_(encoder && encoder->frame_size > 1 ? encoder->frame_size : 0),
      small_last_frame_(encoder && encoder->codec &&
                        (encoder->codec->capabilities &
                         (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE))),
      converted_(out_.format, out_.layout.channels()) {
  if (!encoder_ || out_.sample_rate <= 0 || out_.layout.channels() <= 0 ||
      out_bytes_per_sample_ <= 0 || !write_)
    RaiseAudioError("Audio output needs an opened audio encoder and a packet writer");
  if (stream_time_base_.num <= 0 || stream_time_base_.den <= 0)
    stream_time_base_ = EncoderTimeBase(*encoder_);
  fifo_ = av::av_audio_fifo_alloc(out_.format, out_.layout.channels(), std::max(frame_size_, 1));
  if (!fifo_) RaiseAudioError("av_fifo_alloc fail");
  packet_ = av::av_packet_alloc();
  if (!packet_) {
    av::av_audio_fifo_free(fifo_);
    RaiseOutOfMemory();
  }
}

AudioOutput::~AudioOutput() {
  av::av_packet_free(&packet_);
  av::av_audio_fifo_free(fifo_);
}

void AudioOutput::Log(TLogLevel level, const std::string& text) const {
  LogAudioMessage(log_, this, level, text);
}

void AudioOutput::Write(const AVFrame& frame, int64_t pts_us) {
  if (flushed_) RaiseAudioError("Audio output written after the end of its stream");
  if (frame.nb_samples <= 0) return;
  FramePtr scaled;
  const AVFrame* source = &frame;
  if (options_.audio_volume != kUnityVolume) {
    scaled.reset(av::av_frame_clone(&frame));
    if (!scaled || av::av_frame_make_writable(scaled.get()) < 0) RaiseOutOfMemory();
    ApplyVolume(*scaled, options_.audio_volume);
    source = scaled.get();
  }
  const AudioParams in = AudioParams::OfFrame(*source);
  PrepareConverter(in);
  const int buffer_samples = CheckBufferSizes(source->nb_samples, in);
  if (converter_ && !converted_.Reserve(buffer_samples)) RaiseOutOfMemory();

  const SyncStep step = Synchronise(pts_us, in);
  const int samples = source->nb_samples;
  const int skipped = static_cast<int>(std::min<int64_t>(step.drop_in, samples));
  if (skipped == samples) return;  // still at the start: the next buffer is checked again
  if (pts_us != AV_NOPTS_VALUE) is_start_ = false;
  if (step.insert_in > 0) {
    CheckBufferSizes(samples + step.insert_in, in);
    if (!InsertSilence(step.insert_in, in)) return;
  }
  const auto planes = OffsetPlanes(source->extended_data, in.format, in.layout.channels(), skipped);
  ConvertAndEmit(planes.data(), samples - skipped, in);
}

int AudioOutput::CheckBufferSizes(int64_t in_samples, const AudioParams& in) const {
  const int64_t sample_bytes = int64_t{out_bytes_per_sample_} * out_.layout.channels();
  const int64_t frame_bytes = int64_t{frame_size_} * sample_bytes;
  int64_t buf = 0;
  int64_t out = 0;
  if (in_samples <= INT_MAX) {
    buf = (in_samples * out_.sample_rate + in.sample_rate) / in.sample_rate;
    buf = std::max<int64_t>(buf * 2 + 10000, frame_size_) * sample_bytes;
    out = std::max(buf, frame_bytes);
    const int coded_bits = av::av_get_bits_per_sample(encoder_->codec_id);
    if (coded_bits > 8 * out_bytes_per_sample_)
      out = out * coded_bits / (8 * out_bytes_per_sample_);
    out += 16384;
  }
  if (in_samples > INT_MAX || buf > INT_MAX || out > INT_MAX)
    RaiseAudioError("Buffer sizes too large in do_audio_out");
  return static_cast<int>(buf / sample_bytes);
}

void AudioOutput::PrepareConverter(const AudioParams& in) {
  if (have_input_ && in == converter_input_) return;
  const bool rates_or_channels =
      in.sample_rate != out_.sample_rate || in.layout.channels() != out_.layout.channels();
  const bool resampling = resampling_ || rates_or_channels || options_.audio_sync_method > 1;
  if (in.sample_rate <= 0 || in.layout.channels() <= 0 || in.format == AV_SAMPLE_FMT_NONE)
    RaiseAudioError(FormatText("Can not resample %d channels @ %d Hz to %d channels @ %d Hz",
                               in.layout.channels(), in.sample_rate, out_.layout.channels(),
                               out_.sample_rate));
  // Samples held back by the converter of the previous input parameters go out first.
  if (have_input_) DrainConverter();
  converter_.reset();
  have_input_ = false;
  resampling_ = resampling;
  if (resampling_ || in.format != out_.format || !(in.layout == out_.layout)) {
    converter_ = AudioResampler::Create(in, out_, options_.audio_sync_method > 1);
    if (!converter_ && resampling_)
      RaiseAudioError(FormatText("Can not resample %d channels @ %d Hz to %d channels @ %d Hz",
                                 in.layout.channels(), in.sample_rate, out_.layout.channels(),
                                 out_.sample_rate));
    if (!converter_)
      RaiseAudioError(FormatText("Cannot convert %s sample format to %s sample format",
                                 SampleFormatName(in.format), SampleFormatName(out_.format)));
  }
  converter_input_ = in;
  have_input_ = true;
}

int64_t AudioOutput::QueuedSamples() const {
  return av::av_audio_fifo_size(fifo_) + (converter_ ? converter_->DelaySamples() : 0);
}

AudioOutput::SyncStep AudioOutput::Synchronise(int64_t pts_us, const AudioParams& in) {
  if (pts_us == AV_NOPTS_VALUE) return {};
  const double rate = out_.sample_rate;
  const double sync_ipts = static_cast<double>(pts_us - options_.start_time_us) / 1000000.0;
  if (options_.audio_sync_method == 0) {
    sync_position_ = std::llround(sync_ipts * rate) - QueuedSamples();
    return {};
  }
  const double delta = sync_ipts * rate - static_cast<double>(sync_position_ + QueuedSamples());
  if (std::fabs(delta) <= kMinimumDriftSamples) return {};
  const bool verbose = options_.verbose > 2;
  if (is_start_ || std::fabs(delta) > options_.audio_drift_threshold_s * rate) {
    const auto in_delta = static_cast<int64_t>(delta * in.sample_rate / rate);
    if (in_delta < 0) {
      if (verbose)
        Log(llVerbose, FormatText("discarding %d audio samples", static_cast<int>(-delta)));
      return {.drop_in = -in_delta};
    }
    if (in_delta > 0 && verbose)
      Log(llVerbose, FormatText("adding %d audio samples of silence", static_cast<int>(delta)));
    return {.insert_in = in_delta};
  }
  if (options_.audio_sync_method > 1) {
    const double bound = options_.audio_sync_method;
    const int compensation = static_cast<int>(std::clamp(std::trunc(delta), -bound, bound));
    if (!converter_) RaiseAudioError("Assertion failure: drift compensation needs the resampler");
    if (verbose)
      Log(llVerbose, FormatText("compensating audio timestamp drift:%f compensation:%d in:%d",
                                delta, compensation, out_.sample_rate));
    const int ret = converter_->Compensate(compensation, out_.sample_rate);
    if (ret < 0) RaiseAudioError("Audio drift compensation failed: " + ErrorText(ret));
  }
  return {};
}

bool AudioOutput::InsertSilence(int64_t samples, const AudioParams& in) {
  const int chunk = static_cast<int>(std::min<int64_t>(samples, kSilenceChunkSamples));
  AudioSampleBuffer silence(in.format, in.layout.channels());
  if (!silence.Reserve(chunk)) RaiseOutOfMemory();
  silence.Silence(chunk);
  while (samples > 0) {
    const int count = static_cast<int>(std::min<int64_t>(samples, chunk));
    if (!ConvertAndEmit(silence.planes(), count, in)) return false;
    samples -= count;
  }
  return true;
}

bool AudioOutput::ConvertAndEmit(const uint8_t* const* data, int samples, const AudioParams&) {
  if (!converter_) {
    Emit(data, samples);
    return true;
  }
  const int produced = converter_->Convert(data, samples, converted_);
  if (produced == AVERROR(ENOMEM)) RaiseOutOfMemory();
  if (produced < 0) {
    const std::string text = "av_audio_convert() failed";
    if (options_.exit_on_error) RaiseAudioError(text);
    Log(llError, text);
    return false;
  }
  Emit(converted_.planes(), produced);
  return true;
}

void AudioOutput::DrainConverter() {
  if (!converter_) return;
  for (;;) {
    const int produced = converter_->Convert(nullptr, 0, converted_);
    if (produced == AVERROR(ENOMEM)) RaiseOutOfMemory();
    if (produced < 0) {
      const std::string text = "av_audio_convert() failed";
      if (options_.exit_on_error) RaiseAudioError(text);
      Log(llError, text);
      return;
    }
    if (produced == 0) return;
    Emit(converted_.planes(), produced);
  }
}

void AudioOutput::Emit(const uint8_t* const* data, int samples) {
  if (samples <= 0) return;
  if (frame_size_ == 0) {
    EncodeSamples(data, samples);
    sync_position_ += samples;
    return;
  }
  void* const* planes = reinterpret_cast<void* const*>(const_cast<uint8_t* const*>(data));
  if (av::av_audio_fifo_write(fifo_, const_cast<void**>(planes), samples) < samples)
    RaiseAudioError("av_fifo_realloc2() failed");
  while (av::av_audio_fifo_size(fifo_) >= frame_size_) {
    EncodeFromFifo(frame_size_, frame_size_);
    sync_position_ += frame_size_;
  }
}

AVFrame* AudioOutput::NewFrame(int samples) {
  AVFrame* frame = av::av_frame_alloc();
  if (!frame) RaiseOutOfMemory();
  frame->nb_samples = samples;
  frame->format = out_.format;
  frame->sample_rate = out_.sample_rate;
  if (av::av_channel_layout_copy(&frame->ch_layout, &out_.layout.get()) < 0 ||
      av::av_frame_get_buffer(frame, 0) < 0) {
    av::av_frame_free(&frame);
    RaiseOutOfMemory();
  }
  frame->pts =
      av::av_rescale_q(sync_position_, AVRational{1, out_.sample_rate}, EncoderTimeBase(*encoder_));
  return frame;
}

void AudioOutput::EncodeSamples(const uint8_t* const* data, int samples) {
  FramePtr frame(NewFrame(samples));
  av::av_samples_copy(frame->extended_data, const_cast<uint8_t* const*>(data), 0, 0, samples,
                      out_.layout.channels(), out_.format);
  Send(frame.get());
}

void AudioOutput::EncodeFromFifo(int samples, int frame_samples) {
  FramePtr frame(NewFrame(frame_samples));
  if (av::av_audio_fifo_read(fifo_, reinterpret_cast<void**>(frame->extended_data), samples) <
      samples)
    RaiseAudioError("Audio encoding failed");
  if (samples < frame_samples)
    av::av_samples_set_silence(frame->extended_data, samples, frame_samples - samples,
                               out_.layout.channels(), out_.format);
  Send(frame.get());
}

void AudioOutput::Send(AVFrame* frame) {
  const int ret = av::avcodec_send_frame(encoder_, frame);
  if (ret < 0 && !(frame == nullptr && ret == AVERROR_EOF))
    RaiseAudioError("Audio encoding failed");
  ReceivePackets();
}

void AudioOutput::ReceivePackets() {
  for (;;) {
    const int ret = av::avcodec_receive_packet(encoder_, packet_);
    if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return;
    if (ret < 0) RaiseAudioError("Audio encoding failed");
    encoded_bytes_ += packet_->size;
    packet_->stream_index = stream_index_;
    av::av_packet_rescale_ts(packet_, EncoderTimeBase(*encoder_), stream_time_base_);
    packet_->flags |= AV_PKT_FLAG_KEY;
    write_(*packet_);
    av::av_packet_unref(packet_);
  }
}

void AudioOutput::Flush() {
  if (flushed_) return;
  flushed_ = true;
  DrainConverter();
  const int left = av::av_audio_fifo_size(fifo_);
  if (frame_size_ > 0 && left > 0) {
    EncodeFromFifo(left, small_last_frame_ ? left : frame_size_);
    sync_position_ += left;
  }
  Send(nullptr);
}

}  // namespace kestrel
