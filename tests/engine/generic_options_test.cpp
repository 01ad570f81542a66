#include "tests/engine/option_test_support.h"

namespace kestrel::test {
namespace {

using GenericOptions = OptionTest;

bool HasValue(const TOptionValues& values, const std::string& name, const std::string& value) {
  for (const auto& entry : values)
    if (entry.first == name) return entry.second == value;
  return false;
}

bool HasName(const TOptionValues& values, const std::string& name) {
  for (const auto& entry : values)
    if (entry.first == name) return true;
  return false;
}

struct TAcceptCase {
  std::vector<std::pair<const char*, const char*>> before;  // dispatched first
  const char* name;
  const char* value;
  bool accepted;
  // Where the value must land: media type, or -1 for the container, -2 for the scaler.
  int where;
  const char* stored_name;
};

TEST_F(GenericOptions, FindEachOptionWhereTodaysLibrariesKeepIt) {
  const std::vector<TAcceptCase> cases = {
      {{}, "g", "30", true, AVMEDIA_TYPE_VIDEO, "g"},
      {{}, "ar", "22050", true, AVMEDIA_TYPE_AUDIO, "ar"},
      {{}, "bufsize", "1835008", true, AVMEDIA_TYPE_AUDIO, "bufsize"},
      {{}, "packetsize", "2048", true, -1, "packetsize"},
      {{}, "sws_flags", "bilinear", true, -2, "sws_flags"},
      {{}, "vb", "900000", true, AVMEDIA_TYPE_VIDEO, "b"},
      {{}, "vqmin", "3", true, AVMEDIA_TYPE_VIDEO, "qmin"},
      {{}, "acutoff", "15000", true, AVMEDIA_TYPE_AUDIO, "cutoff"},
      // Options that moved into encoders' and muxers' private options.
      {{}, "crf", "20", false, 0, ""},
      {{{"vcodec", "libx264"}}, "crf", "20", true, AVMEDIA_TYPE_VIDEO, "crf"},
      {{{"vcodec", "libx264"}}, "motion-est", "umh", true, AVMEDIA_TYPE_VIDEO, "motion-est"},
      {{{"vcodec", "libx264"}}, "profile", "high", true, AVMEDIA_TYPE_VIDEO, "profile"},
      {{{"vcodec", "mpeg2video"}}, "scan_offset", "1", true, AVMEDIA_TYPE_VIDEO, "scan_offset"},
      {{{"acodec", "aac"}}, "aac_coder", "fast", true, AVMEDIA_TYPE_AUDIO, "aac_coder"},
      {{}, "muxrate", "1411200", false, 0, ""},
      {{{"f", "vcd"}}, "muxrate", "1411200", true, -1, "muxrate"},
      {{{"f", "mp4"}}, "movflags", "+faststart", true, -1, "movflags"},
      // Refused values and names nobody has.
      {{}, "g", "many", false, 0, ""},
      {{{"vcodec", "libx264"}}, "motion-est", "nosuch", false, 0, ""},
      {{}, "no_such_option", "1", false, 0, ""},
      {{}, "g", "   ", false, 0, ""},
  };
  for (const TAcceptCase& c : cases) {
    SCOPED_TRACE(std::string(c.name) + "=" + c.value);
    engine_.ResetOptions();
    for (const auto& [name, value] : c.before) engine_.SetOption(name, value);
    EXPECT_EQ(engine_.SetAVOption(c.name, c.value), c.accepted);
    if (!c.accepted) {
      EXPECT_TRUE(engine_.AcceptedNames().empty());
      continue;
    }
    EXPECT_EQ(engine_.AcceptedNames(), std::vector<std::string>({c.name}));
    const TOptionValues& values =
        c.where == -1   ? engine_.FormatOptionValues()
        : c.where == -2 ? engine_.ScalerOptionValues()
                        : engine_.CodecOptionValues(static_cast<AVMediaType>(c.where));
    EXPECT_TRUE(HasName(values, c.stored_name));
  }
}

// The task component passes these record fields as library options; each must land in
// the media type or muxer that honours it. "abt" has no library option (bit-rate
// tolerance exists for video only) and is refused rather than kept unused.
TEST_F(GenericOptions, RecordFieldOptionsReachTheirContexts) {
  struct TFieldCase {
    const char* name;
    const char* value;
    int where;  // media type, -1 container, -3 refused
    const char* stored_name;
  };
  const std::vector<TFieldCase> cases = {
      {"g", "12", AVMEDIA_TYPE_VIDEO, "g"},
      {"vb", "800000", AVMEDIA_TYPE_VIDEO, "b"},
      {"maxrate", "900000", AVMEDIA_TYPE_VIDEO, "maxrate"},
      {"minrate", "100000", AVMEDIA_TYPE_VIDEO, "minrate"},
      {"bt", "50000", AVMEDIA_TYPE_VIDEO, "bt"},
      {"bufsize", "327680", AVMEDIA_TYPE_VIDEO, "bufsize"},
      {"ab", "128000", AVMEDIA_TYPE_AUDIO, "ab"},
      {"packetsize", "2048", -1, "packetsize"},
      {"muxrate", "10080000", -1, "muxrate"},
      {"abt", "1000", -3, ""},
  };
  engine_.SetOption("f", "dvd");
  for (const TFieldCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(engine_.SetAVOption(c.name, c.value), c.where != -3);
    if (c.where == -3) continue;
    const TOptionValues& values =
        c.where == -1 ? engine_.FormatOptionValues()
                      : engine_.CodecOptionValues(static_cast<AVMediaType>(c.where));
    EXPECT_TRUE(HasValue(values, c.stored_name, c.value));
  }
}

TEST_F(GenericOptions, VideoRatesNeverReachAudio) {
  for (const char* name : {"b", "maxrate", "minrate"}) {
    ASSERT_TRUE(engine_.SetAVOption(name, "1150000")) << name;
    EXPECT_TRUE(HasValue(engine_.CodecOptionValues(AVMEDIA_TYPE_VIDEO), name, "1150000"));
    EXPECT_FALSE(HasName(engine_.CodecOptionValues(AVMEDIA_TYPE_AUDIO), name)) << name;
  }
  EXPECT_NE(engine_.GenericOptions().CodecContext(AVMEDIA_TYPE_AUDIO)->bit_rate, 1150000);
  ASSERT_TRUE(engine_.SetAVOption("ab", "224000"));
  EXPECT_TRUE(HasValue(engine_.CodecOptionValues(AVMEDIA_TYPE_AUDIO), "ab", "224000"));
}

TEST_F(GenericOptions, RefusedValueIsLoggedAndKeepsTheOldOne) {
  ASSERT_TRUE(engine_.SetAVOption(" g ", " 30 "));
  EXPECT_FALSE(engine_.SetAVOption("g", "many"));
  EXPECT_TRUE(log_.Has(AV_LOG_ERROR, "Invalid value \"many\" for option \"g\""));
  EXPECT_TRUE(HasValue(engine_.CodecOptionValues(AVMEDIA_TYPE_VIDEO), "g", "30"));
  EXPECT_EQ(engine_.AcceptedNames(), std::vector<std::string>({"g"}));
}

TEST_F(GenericOptions, RelativeFlagsAccumulate) {
  ASSERT_TRUE(engine_.SetAVOption("flags", "+gray"));
  ASSERT_TRUE(engine_.SetAVOption("flags", "+cgop"));
  const int64_t expected = AV_CODEC_FLAG_GRAY | AV_CODEC_FLAG_CLOSED_GOP;
  EXPECT_TRUE(
      HasValue(engine_.CodecOptionValues(AVMEDIA_TYPE_VIDEO), "flags", std::to_string(expected)));
  EXPECT_EQ(engine_.CodecOptionValues(AVMEDIA_TYPE_VIDEO).size(), 1u);
}

TEST_F(GenericOptions, DebugOptionsRaiseTheLogLevel) {
  ASSERT_TRUE(engine_.SetAVOption("g", "12"));
  EXPECT_EQ(log_.level(), AV_LOG_INFO);
  ASSERT_TRUE(engine_.SetAVOption("debug", "pict"));
  EXPECT_EQ(log_.level(), AV_LOG_DEBUG);
  engine_.ResetOptions();
  engine_.SetOption("loglevel", "error");
  ASSERT_TRUE(engine_.SetAVOption("fdebug", "ts"));
  EXPECT_EQ(log_.level(), AV_LOG_DEBUG);
}

// The accepted values, handed over as a dictionary, are all taken by a real encoder.
TEST_F(GenericOptions, AcceptedValuesOpenARealEncoder) {
  engine_.SetOption("vcodec", "mpeg4");
  for (const auto& [name, value] :
       std::vector<std::pair<const char*, const char*>>{{"g", "30"},
                                                        {"flags", "+gray+qpel"},
                                                        {"vb", "400000"},
                                                        {"bf", "2"},
                                                        {"mpeg_quant", "1"}}) {
    ASSERT_TRUE(engine_.SetAVOption(name, value)) << name;
  }
  const AVCodec* codec = av::avcodec_find_encoder_by_name("mpeg4");
  ASSERT_NE(codec, nullptr);
  AVCodecContext* ctx = av::avcodec_alloc_context3(codec);
  ctx->width = 64;
  ctx->height = 48;
  ctx->pix_fmt = AV_PIX_FMT_YUV420P;
  ctx->time_base = {1, 25};
  AVDictionary* dict = TGenericOptions::ToDictionary(engine_.CodecOptionValues(AVMEDIA_TYPE_VIDEO));
  int ret = 0;
  {
    std::lock_guard<std::mutex> lock(CodecLock());
    ret = av::avcodec_open2(ctx, codec, &dict);
  }
  EXPECT_EQ(ret, 0);
  EXPECT_EQ(av::av_dict_count(dict), 0) << "options the encoder ignored";
  EXPECT_EQ(ctx->gop_size, 30);
  EXPECT_EQ(ctx->bit_rate, 400000);
  EXPECT_EQ(ctx->max_b_frames, 2);
  EXPECT_EQ(ctx->flags & (AV_CODEC_FLAG_GRAY | AV_CODEC_FLAG_QPEL),
            AV_CODEC_FLAG_GRAY | AV_CODEC_FLAG_QPEL);
  av::av_dict_free(&dict);
  std::lock_guard<std::mutex> lock(CodecLock());
  av::avcodec_free_context(&ctx);
}

}  // namespace
}  // namespace kestrel::test
