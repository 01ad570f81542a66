#include "tests/engine/option_test_support.h"
#include "tests/support/fixtures.h"

namespace kestrel::test {
namespace {

using Targets = OptionTest;

struct TTargetCase {
  const char* target;
  int width, height;
  AVRational rate;
  const char* video_codec;
  const char* audio_codec;
  const char* format;
  AVPixelFormat pix_fmt;
  int sample_rate;
  double aspect;
  const char* gop;  // "" = not set
};

TEST_F(Targets, SetTheirSettingsPerNorm) {
  const std::vector<TTargetCase> cases = {
      {"pal-dvd",
       720,
       576,
       {25, 1},
       "mpeg2video",
       "ac3",
       "dvd",
       AV_PIX_FMT_NONE,
       48000,
       16.0 / 9,
       "15"},
      {"ntsc-dvd",
       720,
       480,
       {30000, 1001},
       "mpeg2video",
       "ac3",
       "dvd",
       AV_PIX_FMT_NONE,
       48000,
       16.0 / 9,
       "18"},
      {"film-dvd",
       720,
       480,
       {24000, 1001},
       "mpeg2video",
       "ac3",
       "dvd",
       AV_PIX_FMT_NONE,
       48000,
       16.0 / 9,
       "18"},
      {"pal-vcd",
       352,
       288,
       {25, 1},
       "mpeg1video",
       "mp2",
       "vcd",
       AV_PIX_FMT_NONE,
       44100,
       4.0 / 3,
       "15"},
      {"ntsc-vcd",
       352,
       240,
       {30000, 1001},
       "mpeg1video",
       "mp2",
       "vcd",
       AV_PIX_FMT_NONE,
       44100,
       4.0 / 3,
       "18"},
      {"pal-svcd",
       480,
       576,
       {25, 1},
       "mpeg2video",
       "mp2",
       "svcd",
       AV_PIX_FMT_NONE,
       44100,
       4.0 / 3,
       "15"},
      {"film-svcd",
       480,
       480,
       {24000, 1001},
       "mpeg2video",
       "mp2",
       "svcd",
       AV_PIX_FMT_NONE,
       44100,
       4.0 / 3,
       "18"},
      {"pal-dv", 720, 576, {25, 1}, "", "", "dv", AV_PIX_FMT_YUV420P, 48000, 0, ""},
      {"ntsc-dv", 720, 480, {30000, 1001}, "", "", "dv", AV_PIX_FMT_YUV411P, 48000, 0, ""},
      {"film-dv", 720, 480, {24000, 1001}, "", "", "dv", AV_PIX_FMT_YUV411P, 48000, 0, ""},
      {"pal-dv50", 720, 576, {25, 1}, "", "", "dv", AV_PIX_FMT_YUV422P, 48000, 0, ""},
  };
  for (const TTargetCase& c : cases) {
    SCOPED_TRACE(c.target);
    engine_.ResetOptions();
    log_.Clear();
    engine_.SetOption("target", c.target);
    const TOptionState& s = engine_.Options();
    EXPECT_EQ(s.frame_width, c.width);
    EXPECT_EQ(s.frame_height, c.height);
    EXPECT_EQ(av_cmp_q(s.frame_rate, c.rate), 0);
    EXPECT_EQ(s.video_codec_name, c.video_codec);
    EXPECT_EQ(s.audio_codec_name, c.audio_codec);
    EXPECT_EQ(s.file_format, c.format);
    EXPECT_EQ(s.frame_pix_fmt, c.pix_fmt);
    EXPECT_EQ(s.audio_sample_rate, c.sample_rate);
    EXPECT_EQ(s.audio_channels, 2);
    EXPECT_DOUBLE_EQ(s.frame_aspect_ratio, c.aspect);
    EXPECT_FALSE(log_.Contains("not accepted"));
    EXPECT_FALSE(log_.Contains("Invalid value"));
    if (*c.gop) {
      EXPECT_EQ(engine_.GenericOptions().CodecContext(AVMEDIA_TYPE_VIDEO)->gop_size,
                std::stoi(c.gop));
      EXPECT_TRUE(log_.Has(AV_LOG_INFO, c.aspect > 1.5 ? "Assuming 16:9 for aspect ratio"
                                                       : "Assuming 4:3 for aspect ratio"));
    }
  }
}

TEST_F(Targets, VcdSetsMuxSettings) {
  engine_.SetOption("target", "pal-vcd");
  EXPECT_DOUBLE_EQ(engine_.Options().mux_preload_s, 0.44);
  const TOptionValues& format = engine_.FormatOptionValues();
  EXPECT_EQ(format, TOptionValues({{"packetsize", "2324"}, {"muxrate", "1411200"}}));
  engine_.ResetOptions();
  engine_.SetOption("target", "pal-svcd");
  EXPECT_DOUBLE_EQ(engine_.Options().mux_preload_s, 0.5);
}

// Every library option a target sets is taken by the encoders and muxer it names.
TEST_F(Targets, LibraryOptionsAreTakenByTheRealEncodersAndMuxer) {
  for (const char* target : {"pal-vcd", "ntsc-svcd", "pal-dvd"}) {
    SCOPED_TRACE(target);
    engine_.ResetOptions();
    engine_.SetOption("target", target);
    const TOptionState& s = engine_.Options();
    const std::vector<std::pair<AVMediaType, std::string>> encoders = {
        {AVMEDIA_TYPE_VIDEO, s.video_codec_name}, {AVMEDIA_TYPE_AUDIO, s.audio_codec_name}};
    for (const auto& [type, name] : encoders) {
      const AVCodec* codec = av::avcodec_find_encoder_by_name(name.c_str());
      ASSERT_NE(codec, nullptr) << name;
      AVCodecContext* ctx = av::avcodec_alloc_context3(codec);
      if (type == AVMEDIA_TYPE_VIDEO) {
        ctx->width = s.frame_width;
        ctx->height = s.frame_height;
        ctx->pix_fmt = AV_PIX_FMT_YUV420P;
        ctx->time_base = av_inv_q(s.frame_rate);
        ctx->framerate = s.frame_rate;
      } else {
        ctx->sample_rate = s.audio_sample_rate;
        ctx->sample_fmt = codec->sample_fmts[0];
        av::av_channel_layout_default(&ctx->ch_layout, s.audio_channels);
        ctx->time_base = {1, s.audio_sample_rate};
      }
      AVDictionary* dict = TGenericOptions::ToDictionary(engine_.CodecOptionValues(type));
      int ret = 0;
      {
        std::lock_guard<std::mutex> lock(CodecLock());
        ret = av::avcodec_open2(ctx, codec, &dict);
      }
      EXPECT_EQ(ret, 0) << name;
      EXPECT_EQ(av::av_dict_count(dict), 0) << name << " ignored options";
      if (type == AVMEDIA_TYPE_VIDEO) {
        EXPECT_GT(ctx->rc_max_rate, 1000000) << name;
      }
      av::av_dict_free(&dict);
      std::lock_guard<std::mutex> lock(CodecLock());
      av::avcodec_free_context(&ctx);
    }
    AVFormatContext* muxer = nullptr;
    ASSERT_GE(av::avformat_alloc_output_context2(&muxer, nullptr, s.file_format.c_str(), nullptr),
              0);
    AVDictionary* dict = TGenericOptions::ToDictionary(engine_.FormatOptionValues());
    EXPECT_GE(av::av_opt_set_dict2(muxer, &dict, AV_OPT_SEARCH_CHILDREN), 0);
    EXPECT_EQ(av::av_dict_count(dict), 0);
    av::av_dict_free(&dict);
    av::avformat_free_context(muxer);
  }
}

TEST_F(Targets, AutomaticNormNeedsAFrameRate) {
  EXPECT_EQ(ErrorOf([&] { engine_.SetTarget("dvd", "auto", "ntsc"); }), "frame_rate is invalid.");
  EXPECT_EQ(ErrorOf([&] { engine_.SetOption("target", "vcd"); }), "frame_rate is invalid.");
}

struct TNormCase {
  const char* rate;  // "" = none
  std::vector<AVRational> inputs;
  const char* fallback;
  int expected_height;
  const char* log;
};

TEST_F(Targets, AutomaticNormFromRateThenInputsThenFallback) {
  const std::vector<TNormCase> cases = {
      {"25", {}, "ntsc", 576, "Assuming PAL for target."},
      {"29.97", {}, "pal", 480, "Assuming NTSC for target."},
      {"24000/1001", {}, "pal", 480, "Assuming NTSC for target."},
      {"30", {{0, 0}, {25, 1}, {30000, 1001}}, "ntsc", 576, "Assuming PAL for target."},
      {"30", {{24, 1}, {30000, 1001}}, "pal", 480, "Assuming NTSC for target."},
      {"30", {}, "film", 480, "Assuming NTSC for target."},
      {"30", {}, "ntsc", 480, "Assuming NTSC for target."},
      {"30", {}, "other", 576, "Assuming PAL for target."},
  };
  for (const TNormCase& c : cases) {
    SCOPED_TRACE(std::string(c.rate) + " " + c.fallback);
    engine_.ResetOptions();
    log_.Clear();
    engine_.SetOption("r", c.rate);
    engine_.input_rates = c.inputs;
    engine_.SetTarget("dvd", "auto", c.fallback);
    EXPECT_EQ(engine_.Options().frame_height, c.expected_height);
    EXPECT_TRUE(log_.Has(AV_LOG_VERBOSE, c.log));
  }
  engine_.input_rates.clear();
  engine_.ResetOptions();
  log_.Clear();
  engine_.SetOption("v", "0");
  engine_.SetOption("r", "25");
  engine_.SetTarget("dv", "", "ntsc");
  EXPECT_FALSE(log_.Contains("for target"));
  engine_.SetTarget("dv", "film", "pal");
  EXPECT_EQ(av_cmp_q(engine_.Options().frame_rate, {24000, 1001}), 0);
}

TEST_F(Targets, NormFromARealOpenedInput) {
  const std::string path = MakeFixture(
      "target_norm_pal.mkv", "-f lavfi -i testsrc=size=64x48:rate=25:duration=0.2 -c:v mpeg4");
  ASSERT_FALSE(path.empty());
  AVFormatContext* input = nullptr;
  ASSERT_EQ(av::avformat_open_input(&input, path.c_str(), nullptr, nullptr), 0);
  {
    std::lock_guard<std::mutex> lock(CodecLock());
    ASSERT_GE(av::avformat_find_stream_info(input, nullptr), 0);
  }
  engine_.input_rates = VideoFrameRatesOf(input);
  av::avformat_close_input(&input);
  ASSERT_EQ(engine_.input_rates.size(), 1u);
  engine_.SetOption("r", "30");
  engine_.SetTarget("vcd", "auto", "ntsc");
  EXPECT_EQ(engine_.Options().frame_height, 288);
}

TEST_F(Targets, KeepAspectAndChannelsThatAreAlreadySet) {
  engine_.SetOption("aspect", "4:3");
  engine_.SetOption("ac", "1");
  engine_.SetOption("target", "pal-dvd");
  EXPECT_DOUBLE_EQ(engine_.Options().frame_aspect_ratio, 4.0 / 3);
  EXPECT_FALSE(log_.Contains("for aspect ratio"));
  EXPECT_EQ(engine_.Options().audio_channels, 2);
  engine_.ResetOptions();
  engine_.SetOption("ac", "6");
  engine_.SetOption("target", "ntsc-svcd");
  EXPECT_EQ(engine_.Options().audio_channels, 6);
  engine_.SetOption("target", "ntsc-vcd");
  EXPECT_EQ(engine_.Options().audio_channels, 2);
}

TEST_F(Targets, UnknownTypeIsRefused) {
  EXPECT_EQ(ErrorOf([&] { engine_.SetOption("target", "pal-bluray"); }), "Unknown target type");
  EXPECT_EQ(ErrorOf([&] { engine_.SetTarget("DVD", "pal", "pal"); }), "Unknown target type");
}

}  // namespace
}  // namespace kestrel::test
