#include "engine/audio_output.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "engine/audio_volume.h"
#include "medialib/av.h"
#include "medialib/library_loader.h"
#include "tests/support/fixtures.h"

namespace kestrel {
namespace {

// ---------------------------------------------------------------------------------------
// Helpers: frames, encoders, decoding a fixture, writing a container.

struct FrameFree {
  void operator()(AVFrame* frame) const { av::av_frame_free(&frame); }
};
using Frame = std::unique_ptr<AVFrame, FrameFree>;

struct CodecFree {
  void operator()(AVCodecContext* context) const {
    std::lock_guard<std::mutex> lock(CodecLock());
    av::avcodec_free_context(&context);
  }
};
using Codec = std::unique_ptr<AVCodecContext, CodecFree>;

struct TimedFrame {
  Frame frame;
  int64_t pts_us;
};

class AudioOutputTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(LoadLibs(kEngineLibs)) << LastError(); }
};

// A frame of `samples` samples; sample i of every channel is value(i) in s16, converted to
// the asked format.
Frame MakeFrame(AVSampleFormat format, int rate, int channels, int samples,
                const std::function<int(int)>& value) {
  Frame frame(av::av_frame_alloc());
  frame->format = format;
  frame->sample_rate = rate;
  frame->nb_samples = samples;
  av::av_channel_layout_default(&frame->ch_layout, channels);
  EXPECT_EQ(av::av_frame_get_buffer(frame.get(), 0), 0);
  const bool planar = av::av_sample_fmt_is_planar(format);
  const int bytes = av::av_get_bytes_per_sample(format);
  for (int i = 0; i < samples; ++i) {
    for (int c = 0; c < channels; ++c) {
      uint8_t* p = planar ? frame->extended_data[c] + i * bytes
                          : frame->extended_data[0] + (i * channels + c) * bytes;
      const int v = value(i);
      switch (av::av_get_packed_sample_fmt(format)) {
        case AV_SAMPLE_FMT_U8:
          *p = static_cast<uint8_t>((v >> 8) + 128);
          break;
        case AV_SAMPLE_FMT_S16:
          *reinterpret_cast<int16_t*>(p) = static_cast<int16_t>(v);
          break;
        case AV_SAMPLE_FMT_S32:
          *reinterpret_cast<int32_t*>(p) = v * 65536;
          break;
        case AV_SAMPLE_FMT_FLT:
          *reinterpret_cast<float*>(p) = v / 32768.0f;
          break;
        case AV_SAMPLE_FMT_DBL:
          *reinterpret_cast<double*>(p) = v / 32768.0;
          break;
        default:
          ADD_FAILURE() << "format not handled by the test";
      }
    }
  }
  return frame;
}

int Tone(int i) {
  return static_cast<int>(8000 * std::sin(i * 0.0627));
}

// Consecutive frames of a tone; `pts_us(n, start_sample)` gives frame n's timestamp.
std::vector<TimedFrame> ToneFrames(AVSampleFormat format, int rate, int channels, int total,
                                   int per_frame,
                                   const std::function<int64_t(int, int64_t)>& pts_us) {
  std::vector<TimedFrame> frames;
  for (int start = 0, n = 0; start < total; start += per_frame, ++n) {
    const int count = std::min(per_frame, total - start);
    frames.push_back(
        {MakeFrame(format, rate, channels, count, [start](int i) { return Tone(start + i); }),
         pts_us(n, start)});
  }
  return frames;
}

int64_t OnTime(int rate, int64_t start_sample) {
  return start_sample * 1000000 / rate;
}

Codec OpenEncoder(const std::string& name, int rate, int channels, bool global_header,
                  int64_t bit_rate = 0) {
  const AVCodec* codec = av::avcodec_find_encoder_by_name(name.c_str());
  if (!codec) return nullptr;
  Codec context(av::avcodec_alloc_context3(codec));
  context->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
  context->sample_rate = rate;
  av::av_channel_layout_default(&context->ch_layout, channels);
  context->time_base = AVRational{1, rate};
  if (bit_rate) context->bit_rate = bit_rate;
  if (global_header) context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  std::lock_guard<std::mutex> lock(CodecLock());
  EXPECT_EQ(av::avcodec_open2(context.get(), codec, nullptr), 0) << name;
  return context;
}

bool HasCapability(const AVCodecContext& encoder, int capability) {
  return (encoder.codec->capabilities & capability) != 0;
}

// Every decoded audio frame of a file with its timestamp in microseconds.
std::vector<TimedFrame> DecodeAudio(const std::string& path) {
  std::vector<TimedFrame> frames;
  AVFormatContext* format = nullptr;
  if (av::avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) {
    ADD_FAILURE() << "cannot open " << path;
    return frames;
  }
  {
    std::lock_guard<std::mutex> lock(CodecLock());
    EXPECT_GE(av::avformat_find_stream_info(format, nullptr), 0);
  }
  const AVCodec* codec = nullptr;
  const int index = av::av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
  EXPECT_GE(index, 0);
  Codec decoder(av::avcodec_alloc_context3(codec));
  av::avcodec_parameters_to_context(decoder.get(), format->streams[index]->codecpar);
  {
    std::lock_guard<std::mutex> lock(CodecLock());
    EXPECT_EQ(av::avcodec_open2(decoder.get(), codec, nullptr), 0);
  }
  const AVRational time_base = format->streams[index]->time_base;
  AVPacket* packet = av::av_packet_alloc();
  auto receive = [&] {
    for (;;) {
      Frame frame(av::av_frame_alloc());
      if (av::avcodec_receive_frame(decoder.get(), frame.get()) < 0) return;
      const int64_t pts = frame->best_effort_timestamp;
      const int64_t pts_us = pts == AV_NOPTS_VALUE
                                 ? AV_NOPTS_VALUE
                                 : av::av_rescale_q(pts, time_base, AVRational{1, 1000000});
      frames.push_back({std::move(frame), pts_us});
    }
  };
  while (av::av_read_frame(format, packet) >= 0) {
    if (packet->stream_index == index) {
      av::avcodec_send_packet(decoder.get(), packet);
      receive();
    }
    av::av_packet_unref(packet);
  }
  av::avcodec_send_packet(decoder.get(), nullptr);
  receive();
  av::av_packet_free(&packet);
  av::avformat_close_input(&format);
  return frames;
}

// An output container with one audio stream, written through av_interleaved_write_frame.
class AudioFile {
 public:
  explicit AudioFile(const std::string& path) : path_(path) {
    EXPECT_GE(av::avformat_alloc_output_context2(&context_, nullptr, nullptr, path.c_str()), 0);
  }
  ~AudioFile() {
    if (context_ && context_->pb) av::avio_closep(&context_->pb);
    av::avformat_free_context(context_);
  }
  bool global_header() const { return context_->oformat->flags & AVFMT_GLOBALHEADER; }
  // Adds the stream of an opened encoder and writes the header.
  AVStream* Start(const AVCodecContext& encoder) {
    AVStream* stream = av::avformat_new_stream(context_, nullptr);
    av::avcodec_parameters_from_context(stream->codecpar, &encoder);
    stream->time_base = encoder.time_base;
    EXPECT_GE(av::avio_open(&context_->pb, path_.c_str(), AVIO_FLAG_WRITE), 0);
    EXPECT_GE(av::avformat_write_header(context_, nullptr), 0);
    return stream;
  }
  void Write(AVPacket& packet) { EXPECT_GE(av::av_interleaved_write_frame(context_, &packet), 0); }
  void Finish() {
    EXPECT_EQ(av::av_write_trailer(context_), 0);
    av::avio_closep(&context_->pb);
  }

 private:
  std::string path_;
  AVFormatContext* context_ = nullptr;
};

struct LogLine {
  TLogLevel level;
  std::string text;
};

// Runs frames through an AudioOutput into memory: packets' bytes and timestamps, log lines.
struct Capture {
  std::vector<uint8_t> bytes;  // all packet payloads in order
  std::vector<int64_t> pts;
  std::vector<int64_t> durations;
  std::vector<LogLine> log;

  AudioPacketWriter Writer() {
    return [this](AVPacket& packet) {
      bytes.insert(bytes.end(), packet.data, packet.data + packet.size);
      pts.push_back(packet.pts);
      durations.push_back(packet.duration);
    };
  }
  AudioLogSink Sink() {
    return [this](TLogLevel level, const std::string& text) { log.push_back({level, text}); };
  }
  // Interleaved 16-bit samples of a pcm_s16le output.
  std::vector<int16_t> Samples() const {
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
  }
  std::vector<std::string> Lines(const std::string& prefix) const {
    std::vector<std::string> lines;
    for (const auto& line : log)
      if (line.text.rfind(prefix, 0) == 0) lines.push_back(line.text);
    return lines;
  }
  int64_t TotalDuration() const {
    int64_t total = 0;
    for (int64_t d : durations) total += d;
    return total;
  }
};

void Feed(AudioOutput& output, const std::vector<TimedFrame>& frames) {
  for (const auto& f : frames) output.Write(*f.frame, f.pts_us);
  output.Flush();
}

double Number(const std::map<std::string, std::string>& probe, const std::string& key) {
  const auto it = probe.find(key);
  return it == probe.end() ? -1 : std::stod(it->second);
}

// ---------------------------------------------------------------------------------------
// Real encoders into real containers, checked with ffprobe.

struct EncoderCase {
  const char* encoder;
  const char* extension;
  int rate;
  int channels;
  int64_t bit_rate;
  bool expect_resampling;  // from a 48000 Hz stereo source
};

class AudioOutputEncoders : public AudioOutputTest,
                            public ::testing::WithParamInterface<EncoderCase> {};

TEST_P(AudioOutputEncoders, ConvertsADecodedStereoToneIntoAPlayableFile) {
  const EncoderCase& c = GetParam();
  const std::string source = test::MakeFixture(
      "tone_48k_stereo_f32.wav",
      "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=2 -ac 2 -c:a pcm_f32le");
  ASSERT_FALSE(source.empty());
  const std::vector<TimedFrame> frames = DecodeAudio(source);
  ASSERT_FALSE(frames.empty());
  int64_t input_samples = 0;
  for (const auto& f : frames) input_samples += f.frame->nb_samples;

  const std::string path = test::TempDir() + "/out_" + c.encoder + "." + c.extension;
  AudioFile file(path);
  Codec encoder = OpenEncoder(c.encoder, c.rate, c.channels, file.global_header(), c.bit_rate);
  if (!encoder) GTEST_SKIP() << c.encoder << " is not in the loaded libraries";
  AVStream* stream = file.Start(*encoder);
  AudioOutput output(
      encoder.get(), stream->time_base, stream->index, {}, [&](AVPacket& p) { file.Write(p); },
      nullptr);
  Feed(output, frames);
  file.Finish();

  EXPECT_EQ(output.resampling(), c.expect_resampling);
  EXPECT_GT(output.encoded_bytes(), 0);
  // Every input sample reaches the encoder, at the encoder's rate.
  const double expected_samples = static_cast<double>(input_samples) * c.rate / 48000;
  EXPECT_NEAR(output.sync_position(), expected_samples, 2 + c.rate / 1000);

  const auto probe = test::Ffprobe(path);
  EXPECT_EQ(probe.at("streams.stream.0.codec_type"), "audio");
  EXPECT_EQ(Number(probe, "streams.stream.0.sample_rate"), c.rate);
  EXPECT_EQ(Number(probe, "streams.stream.0.channels"), c.channels);
  const double frame_seconds = std::max(encoder->frame_size, 1) / static_cast<double>(c.rate);
  EXPECT_NEAR(Number(probe, "format.duration"), input_samples / 48000.0, frame_seconds + 0.03)
      << c.encoder;
}

INSTANTIATE_TEST_SUITE_P(RealEncoders, AudioOutputEncoders,
                         ::testing::Values(EncoderCase{"aac", "m4a", 44100, 2, 128000, true},
                                           EncoderCase{"aac", "mp4", 48000, 2, 128000, false},
                                           EncoderCase{"libmp3lame", "mp3", 44100, 2, 128000, true},
                                           EncoderCase{"ac3", "ac3", 48000, 2, 192000, false},
                                           EncoderCase{"mp2", "mp2", 44100, 2, 192000, true},
                                           EncoderCase{"pcm_s16le", "wav", 44100, 2, 0, true},
                                           EncoderCase{"pcm_s16le", "wav", 48000, 1, 0, true},
                                           EncoderCase{"flac", "flac", 48000, 2, 0, false},
                                           EncoderCase{"libopencore_amrnb", "3gp", 8000, 1, 12200,
                                                       true}),
                         [](const auto& info) {
                           return std::string(info.param.encoder) + "_" +
                                  std::to_string(info.param.rate) + "_" +
                                  std::to_string(info.param.channels);
                         });

// ---------------------------------------------------------------------------------------
// Sample-exact behaviour through pcm_s16le, captured in memory.

TEST_F(AudioOutputTest, MonoBecomesStereoAtTheSameRate) {
  Codec encoder = OpenEncoder("pcm_s16le", 44100, 2, false);
  Capture capture;
  AudioOutput output(encoder.get(), AVRational{1, 44100}, 0, {}, capture.Writer(), nullptr);
  Feed(output, ToneFrames(AV_SAMPLE_FMT_S16, 44100, 1, 4410, 1024,
                          [](int, int64_t s) { return OnTime(44100, s); }));
  EXPECT_TRUE(output.resampling());
  const std::vector<int16_t> samples = capture.Samples();
  ASSERT_NEAR(samples.size(), 2 * 4410, 2 * 2);
  int loud = 0;
  for (size_t i = 0; i + 1 < samples.size(); i += 2) {
    EXPECT_EQ(samples[i], samples[i + 1]) << "sample " << i / 2;
    if (std::abs(samples[i]) > 1000) ++loud;
  }
  EXPECT_GT(loud, 2000) << "the tone survives the upmix";
}

TEST_F(AudioOutputTest, SameParametersPassSamplesThroughUnchanged) {
  Codec encoder = OpenEncoder("pcm_s16le", 44100, 2, false);
  Capture capture;
  AudioOutput output(encoder.get(), AVRational{1, 44100}, 0, {}, capture.Writer(), nullptr);
  Feed(output, ToneFrames(AV_SAMPLE_FMT_S16, 44100, 2, 3000, 1000,
                          [](int, int64_t s) { return OnTime(44100, s); }));
  EXPECT_FALSE(output.resampling());
  const std::vector<int16_t> samples = capture.Samples();
  ASSERT_EQ(samples.size(), 2u * 3000);
  for (int i = 0; i < 3000; ++i) ASSERT_EQ(samples[2 * i], Tone(i)) << i;
  EXPECT_EQ(capture.pts, (std::vector<int64_t>{0, 1000, 2000}));
}

struct StartCase {
  int async;
  int verbose;
  int64_t start_us;          // timestamp of the first audio sample
  int64_t expected_silence;  // samples of silence before the tone
  int64_t expected_skipped;  // samples of the tone cut from its start
  int64_t expected_first_pts;
  const char* expected_log;  // first drift line, "" when none may appear
};

class AudioOutputStart : public AudioOutputTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(AudioOutputStart, AudioStartingOffZeroIsPlacedPaddedOrCut) {
  const StartCase& c = GetParam();
  Codec encoder = OpenEncoder("pcm_s16le", 44100, 2, false);
  Capture capture;
  AudioOutputOptions options;
  options.audio_sync_method = c.async;
  options.verbose = c.verbose;
  AudioOutput output(encoder.get(), AVRational{1, 44100}, 0, options, capture.Writer(),
                     capture.Sink());
  Feed(output, ToneFrames(AV_SAMPLE_FMT_S16, 44100, 2, 44100, 1024,
                          [&](int, int64_t s) { return c.start_us + OnTime(44100, s); }));

  const std::vector<int16_t> samples = capture.Samples();
  ASSERT_EQ(static_cast<int64_t>(samples.size()),
            2 * (44100 + c.expected_silence - c.expected_skipped));
  for (int64_t i = 0; i < c.expected_silence; ++i) ASSERT_EQ(samples[2 * i], 0) << i;
  for (int i = 0; i < 100; ++i)
    ASSERT_EQ(samples[2 * (c.expected_silence + i)], Tone(c.expected_skipped + i)) << i;
  EXPECT_EQ(capture.pts.front(), c.expected_first_pts);
  std::vector<LogLine> drift_lines;
  for (const auto& line : capture.log)
    if (line.text.rfind("adding ", 0) == 0 || line.text.rfind("discarding ", 0) == 0)
      drift_lines.push_back(line);
  if (*c.expected_log) {
    ASSERT_FALSE(drift_lines.empty());
    EXPECT_EQ(drift_lines[0].text, c.expected_log);
    EXPECT_EQ(drift_lines[0].level, llVerbose);
  } else {
    EXPECT_TRUE(drift_lines.empty());
  }
}

// Half a second late: "async" 1 fills the gap with silence, no "async" places the audio at
// 0.5 s. A tenth of a second early: whole buffers are cut until the audio reaches zero.
INSTANTIATE_TEST_SUITE_P(
    SyncMethods, AudioOutputStart,
    ::testing::Values(StartCase{1, 3, 500000, 22050, 0, 0, "adding 22050 audio samples of silence"},
                      StartCase{1, 1, 500000, 22050, 0, 0, ""},
                      StartCase{0, 3, 500000, 0, 0, 22050, ""},
                      StartCase{1, 3, -100000, 0, 4410, 0, "discarding 4410 audio samples"},
                      StartCase{0, 3, -100000, 0, 0, -4410, ""}));

TEST_F(AudioOutputTest, WithoutASinkMessagesReachTheLogCapture) {
  std::vector<TLogInfo> lines;
  TMediaLogger& logger = MediaLogger();
  logger.SetTriggerEventInMainThread(false);
  logger.SetOnLog([&](const TLogInfo& info) {
    if (info.message.rfind("adding ", 0) == 0) lines.push_back(info);
  });
  Codec encoder = OpenEncoder("pcm_s16le", 44100, 2, false);
  AudioOutputOptions options;
  options.audio_sync_method = 1;
  options.verbose = 3;
  AudioOutput output(encoder.get(), AVRational{1, 44100}, 0, options, [](AVPacket&) {});
  Feed(output, ToneFrames(AV_SAMPLE_FMT_S16, 44100, 2, 4096, 1024,
                          [](int, int64_t s) { return 500000 + OnTime(44100, s); }));
  logger.SetOnLog(nullptr);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].message, "adding 22050 audio samples of silence");
  EXPECT_EQ(lines[0].level, llVerbose);
  EXPECT_EQ(lines[0].sender, &output);
}

TEST_F(AudioOutputTest, LateStartGivesHalfASecondMoreInARealAacFile) {
  const std::string path = test::TempDir() + "/late_start.m4a";
  AudioFile file(path);
  Codec encoder = OpenEncoder("aac", 44100, 2, file.global_header(), 128000);
  AVStream* stream = file.Start(*encoder);
  AudioOutputOptions options;
  options.audio_sync_method = 1;
  AudioOutput output(
      encoder.get(), stream->time_base, stream->index, options, [&](AVPacket& p) { file.Write(p); },
      nullptr);
  Feed(output, ToneFrames(AV_SAMPLE_FMT_FLTP, 48000, 2, 48000, 1024,
                          [](int, int64_t s) { return 500000 + OnTime(48000, s); }));
  file.Finish();
  EXPECT_NEAR(Number(test::Ffprobe(path), "format.duration"), 1.5, 1024.0 / 44100 + 0.01);
}

struct DriftCase {
  const char* encoder;  // pcm_s16le: no FIFO; aac: 1024-sample frames through the FIFO
  double jump_seconds;  // timestamp jump after one second of on-time audio
  // Samples added (+) or removed (-): insertion closes the gap at once; discarding takes at
  // most one buffer at a time and stops once the drift is back under the threshold.
  int64_t min_change;
  int64_t max_change;
  const char* log_prefix;  // "" when nothing may be logged
};

class AudioOutputDrift : public AudioOutputTest, public ::testing::WithParamInterface<DriftCase> {};

TEST_P(AudioOutputDrift, OnlyDriftPastTheThresholdIsCorrected) {
  const DriftCase& c = GetParam();
  Codec encoder = OpenEncoder(c.encoder, 44100, 2, false);
  Capture capture;
  AudioOutputOptions options;
  options.audio_sync_method = 1;
  options.verbose = 3;
  AudioOutput output(encoder.get(), AVRational{1, 44100}, 0, options, capture.Writer(),
                     capture.Sink());
  const int64_t jump_us = std::llround(c.jump_seconds * 1000000);
  // 700-sample buffers leave samples waiting in the FIFO of a framed encoder.
  Feed(output, ToneFrames(AV_SAMPLE_FMT_S16, 44100, 2, 2 * 44100, 700, [&](int, int64_t s) {
         return OnTime(44100, s) + (s >= 44100 ? jump_us : 0);
       }));
  const bool pcm = std::string(c.encoder) == "pcm_s16le";
  const int64_t produced =
      pcm ? static_cast<int64_t>(capture.Samples().size() / 2) : output.sync_position();
  const auto change = produced - 2 * 44100;
  EXPECT_GE(change, c.min_change);
  EXPECT_LE(change, c.max_change);
  const auto added = capture.Lines("adding ");
  const auto discarded = capture.Lines("discarding ");
  const std::string prefix = c.log_prefix;
  EXPECT_EQ(added.empty(), prefix != "adding ");
  EXPECT_EQ(discarded.empty(), prefix != "discarding ");
  // The first line reports the whole drift, 0.2 s at 44100 Hz.
  int reported = 0;
  if (!prefix.empty()) {
    const std::string& first = prefix == "adding " ? added.at(0) : discarded.at(0);
    ASSERT_EQ(std::sscanf(first.c_str() + prefix.size(), "%d audio samples", &reported), 1);
    EXPECT_NEAR(reported, 8820, 1) << first;
  }
}

INSTANTIATE_TEST_SUITE_P(AtFortyFourKilohertz, AudioOutputDrift,
                         ::testing::Values(DriftCase{"pcm_s16le", 0.05, 0, 0, ""},
                                           DriftCase{"pcm_s16le", -0.05, 0, 0, ""},
                                           DriftCase{"pcm_s16le", 0.2, 8819, 8821, "adding "},
                                           DriftCase{"pcm_s16le", -0.2, -8821, -4410,
                                                     "discarding "},
                                           DriftCase{"aac", 0.05, 0, 0, ""},
                                           DriftCase{"aac", -0.2, -8821, -4410, "discarding "}));

TEST_F(AudioOutputTest, ResamplerCompensationIsBoundedPerBuffer) {
  Codec encoder = OpenEncoder("pcm_s16le", 44100, 2, false);
  Capture capture;
  AudioOutputOptions options;
  options.audio_sync_method = 1000;
  options.verbose = 3;
  AudioOutput output(encoder.get(), AVRational{1, 44100}, 0, options, capture.Writer(),
                     capture.Sink());
  // The timestamps run 5% faster than the samples. The compensation (at most 1000 samples
  // per second, 2.3%) cannot keep up, yet the drift stays under the 0.1 s threshold within
  // 3 s, so nothing is inserted.
  const int total = 3 * 44100;
  Feed(output, ToneFrames(AV_SAMPLE_FMT_S16, 44100, 2, total, 1024,
                          [](int, int64_t s) { return OnTime(44100, s) * 105 / 100; }));
  EXPECT_TRUE(output.resampling());
  const auto lines = capture.Lines("compensating audio timestamp drift:");
  ASSERT_FALSE(lines.empty());
  int largest = 0;
  for (const auto& line : lines) {
    int compensation = 0;
    int rate = 0;
    ASSERT_EQ(
        std::sscanf(line.c_str(), "compensating audio timestamp drift:%*f compensation:%d in:%d",
                    &compensation, &rate),
        2)
        << line;
    EXPECT_LE(std::abs(compensation), 1000) << line;
    EXPECT_EQ(rate, 44100);
    largest = std::max(largest, compensation);
  }
  EXPECT_EQ(largest, 1000) << "the drift outgrows the bound, so the bound is reached";
  EXPECT_TRUE(capture.Lines("adding ").empty());
  // Each buffer asks for at most 1000 samples per second of output; with 1024-sample
  // buffers that is at most about 23 extra samples per buffer.
  const auto produced = static_cast<int64_t>(capture.Samples().size() / 2);
  const int64_t buffers = (total + 1023) / 1024;
  EXPECT_GT(produced - total, 500) << "the output stretched toward the timestamps";
  EXPECT_LE(produced - total, buffers * (1000 * 1024 / 44100 + 1));
}

// ---------------------------------------------------------------------------------------
// Framing and the last frame.

struct LastFrameCase {
  const char* encoder;
  int rate;
  bool padded;  // the encoder takes no short last frame
};

class AudioOutputLastFrame : public AudioOutputTest,
                             public ::testing::WithParamInterface<LastFrameCase> {};

TEST_P(AudioOutputLastFrame, ShortLastFrameIsPaddedOnlyWhenTheEncoderNeedsIt) {
  const LastFrameCase& c = GetParam();
  Codec encoder = OpenEncoder(c.encoder, c.rate, 2, false);
  ASSERT_TRUE(encoder);
  ASSERT_EQ(!HasCapability(*encoder, AV_CODEC_CAP_SMALL_LAST_FRAME), c.padded) << c.encoder;
  const int frame_size = encoder->frame_size;
  ASSERT_GT(frame_size, 1);
  Capture capture;
  AudioOutput output(encoder.get(), AVRational{1, c.rate}, 0, {}, capture.Writer(), nullptr);
  const int fed = 2 * frame_size + frame_size / 3;
  Feed(output, ToneFrames(AV_SAMPLE_FMT_S16, c.rate, 2, fed, 700,
                          [&](int, int64_t s) { return OnTime(c.rate, s); }));
  EXPECT_EQ(output.sync_position(), fed);
  // The packets cover the fed samples, rounded up to a whole frame when padded.
  const int64_t covered = capture.TotalDuration();
  if (c.padded) {
    EXPECT_EQ(covered % frame_size, 0) << covered;
  }
  EXPECT_GE(covered, fed);
  EXPECT_LT(covered, fed + frame_size + (c.padded ? 0 : encoder->initial_padding + 1));
}

INSTANTIATE_TEST_SUITE_P(Encoders, AudioOutputLastFrame,
                         ::testing::Values(LastFrameCase{"mp2", 44100, true},
                                           LastFrameCase{"ac3", 48000, true},
                                           LastFrameCase{"flac", 44100, false}),
                         [](const auto& info) { return std::string(info.param.encoder); });

TEST_F(AudioOutputTest, InputParametersChangingMidStreamKeepEverySample) {
  Codec encoder = OpenEncoder("pcm_s16le", 44100, 2, false);
  Capture capture;
  AudioOutput output(encoder.get(), AVRational{1, 44100}, 0, {}, capture.Writer(), nullptr);
  for (const auto& f : ToneFrames(AV_SAMPLE_FMT_S16, 44100, 2, 44100, 1024,
                                  [](int, int64_t s) { return OnTime(44100, s); }))
    output.Write(*f.frame, f.pts_us);
  EXPECT_FALSE(output.resampling());
  for (const auto& f : ToneFrames(AV_SAMPLE_FMT_FLTP, 48000, 1, 48000, 1024,
                                  [](int, int64_t s) { return 1000000 + OnTime(48000, s); }))
    output.Write(*f.frame, f.pts_us);
  output.Flush();
  EXPECT_TRUE(output.resampling());
  EXPECT_NEAR(static_cast<double>(capture.Samples().size() / 2), 2 * 44100, 2);
}

// ---------------------------------------------------------------------------------------
// Volume.

TEST_F(AudioOutputTest, VolumeScalesEveryFormatByTheSameRule) {
  struct Row {
    AVSampleFormat format;
    int vol;
    int in;      // s16 value the test frame is built from
    double out;  // expected value in the format's own scale
  };
  const Row rows[] = {
      {AV_SAMPLE_FMT_S16, 512, 1000, 2000},
      {AV_SAMPLE_FMT_S16, 512, 30000, 32767},
      {AV_SAMPLE_FMT_S16, 512, -30000, -32768},
      {AV_SAMPLE_FMT_S16, 128, 1001, 501},
      {AV_SAMPLE_FMT_S16P, 128, -1, 0},
      {AV_SAMPLE_FMT_S16, 0, 1234, 0},
      {AV_SAMPLE_FMT_S32, 512, 30000, 2147483647.0},
      {AV_SAMPLE_FMT_S32P, 128, 1000, 1000 * 65536 / 2},
      {AV_SAMPLE_FMT_U8, 512, 100 * 256, 255},
      {AV_SAMPLE_FMT_U8P, 128, 40 * 256, 148},
      {AV_SAMPLE_FMT_FLT, 512, 16384, 1.0},
      {AV_SAMPLE_FMT_DBLP, 64, 16384, 0.125},
  };
  for (const Row& row : rows) {
    Frame frame = MakeFrame(row.format, 44100, 2, 3, [&](int) { return row.in; });
    ApplyVolume(*frame, row.vol);
    const bool planar = av::av_sample_fmt_is_planar(row.format);
    const uint8_t* last = planar ? frame->extended_data[1] : frame->extended_data[0];
    const int index = planar ? 2 : 5;  // the last sample of the second channel
    double value = 0;
    switch (av::av_get_packed_sample_fmt(row.format)) {
      case AV_SAMPLE_FMT_U8:
        value = last[index];
        break;
      case AV_SAMPLE_FMT_S16:
        value = reinterpret_cast<const int16_t*>(last)[index];
        break;
      case AV_SAMPLE_FMT_S32:
        value = reinterpret_cast<const int32_t*>(last)[index];
        break;
      case AV_SAMPLE_FMT_FLT:
        value = reinterpret_cast<const float*>(last)[index];
        break;
      case AV_SAMPLE_FMT_DBL:
        value = reinterpret_cast<const double*>(last)[index];
        break;
      default:
        FAIL();
    }
    EXPECT_DOUBLE_EQ(value, row.out)
        << av::av_get_sample_fmt_name(row.format) << " vol " << row.vol << " in " << row.in;
  }
}

TEST_F(AudioOutputTest, VolumeIsAppliedToACopyBeforeEncoding) {
  Codec encoder = OpenEncoder("pcm_s16le", 44100, 2, false);
  Capture capture;
  AudioOutputOptions options;
  options.audio_volume = 384;
  AudioOutput output(encoder.get(), AVRational{1, 44100}, 0, options, capture.Writer(), nullptr);
  Frame frame = MakeFrame(AV_SAMPLE_FMT_S16, 44100, 2, 500, Tone);
  output.Write(*frame, 0);
  output.Flush();
  const std::vector<int16_t> samples = capture.Samples();
  ASSERT_EQ(samples.size(), 1000u);
  for (int i = 0; i < 500; ++i) {
    ASSERT_EQ(samples[2 * i], (Tone(i) * 384 + 128) >> 8) << i;
    ASSERT_EQ(reinterpret_cast<int16_t*>(frame->data[0])[2 * i], Tone(i)) << "caller's frame";
  }
}

// ---------------------------------------------------------------------------------------
// Failures.

TEST_F(AudioOutputTest, FailuresEndWithTheirTexts) {
  Codec encoder = OpenEncoder("pcm_s16le", 44100, 2, false);
  auto expect_error = [&](const AudioOutputOptions& options,
                          const std::function<void(AudioOutput&)>& act, const std::string& text) {
    Capture capture;
    AudioOutput output(encoder.get(), AVRational{1, 44100}, 0, options, capture.Writer(), nullptr);
    try {
      act(output);
      ADD_FAILURE() << "no error, expected: " << text;
    } catch (const FFmpegException& e) {
      EXPECT_EQ(e.what(), text);
    }
  };
  AudioOutputOptions async;
  async.audio_sync_method = 1;

  // A frame that names no channels cannot be converted.
  expect_error(
      {},
      [](AudioOutput& out) {
        Frame frame = MakeFrame(AV_SAMPLE_FMT_S16, 44100, 2, 10, Tone);
        frame->ch_layout.nb_channels = 0;
        frame->ch_layout.order = AV_CHANNEL_ORDER_UNSPEC;
        out.Write(*frame, 0);
      },
      "Can not resample 0 channels @ 44100 Hz to 2 channels @ 44100 Hz");

  // A timestamp ten hours ahead would need gigabytes of silence.
  expect_error(
      async,
      [](AudioOutput& out) {
        Frame frame = MakeFrame(AV_SAMPLE_FMT_S16, 44100, 2, 1024, Tone);
        out.Write(*frame, 0);
        out.Write(*frame, int64_t{36000} * 1000000);
      },
      "Buffer sizes too large in do_audio_out");

  expect_error(
      {},
      [](AudioOutput& out) {
        Frame frame = MakeFrame(AV_SAMPLE_FMT_S16, 44100, 2, 10, Tone);
        out.Flush();
        out.Write(*frame, 0);
      },
      "Audio output written after the end of its stream");
}

}  // namespace
}  // namespace kestrel
