#include <functional>
#include <set>

#include "tests/engine/option_test_support.h"

namespace kestrel::test {
namespace {

const std::string kMatrix63 = [] {
  std::string text;
  for (int i = 1; i <= 63; ++i) text += (i > 1 ? "," : "") + std::to_string(i);
  return text;
}();
const std::string kMatrix64 = kMatrix63 + ",64";

using OptionTable = OptionTest;

TEST_F(OptionTable, HasEveryNameOnce) {
  const std::vector<std::string> names = TFFmpegOptions::OptionNames();
  EXPECT_EQ(names.size(), 114u);
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
}

struct TErrorCase {
  const char* name;
  std::string value;
  std::string message;
};

TEST_F(OptionTable, RaisesItsErrorTexts) {
  const std::vector<TErrorCase> cases = {
      {"r", "abc", "Incorrect frame rate"},
      {"s", "12xq", "Incorrect frame size"},
      {"aspect", "4:0", "Incorrect aspect ratio specification."},
      {"aspect", "wide", "Incorrect aspect ratio specification."},
      {"pix_fmt", "nosuch", "Unknown pixel format requested: nosuch"},
      {"sample_fmt", "nosuch", "Unknown sample format requested: nosuch"},
      {"croptop", "10",
       "Vertical crop dimensions are outside the range of the original image.\n"
       "Remember to crop first and scale second."},
      {"cropright", "10",
       "Horizontal crop dimensions are outside the range of the original image.\n"
       "Remember to crop first and scale second."},
      {"padtop", "4", "Please use vfilters=pad"},
      {"padcolor", "000000", "Please use vfilters=pad"},
      {"qscale", "0", "qscale must be > 0.0 and <= 255"},
      {"qscale", "255.5", "qscale must be > 0.0 and <= 255"},
      {"pass", "3", "pass number can be only 1 or 2"},
      {"metadata", "title", "Missing ="},
      {"itsscale", "20:1.5", "stream index over MAX_STREAMS(20)"},
      {"itsscale", "-1:1.5", "stream index over MAX_STREAMS(20)"},
      {"streamid", "3",
       "Invalid value \"3\" for option \"streamid\", required syntax is \"index:value\""},
      {"streamid",
       "3:", "Invalid value \"3:\" for option \"streamid\", required syntax is \"index:value\""},
      {"streamid", "20:5", "stream index over MAX_STREAMS(20)"},
      {"t", "abc", "Invalid duration specification for t: abc"},
      {"ss", "1:xx", "Invalid duration specification for ss: 1:xx"},
      {"timestamp", "someday", "Invalid date specification for timestamp: someday"},
      {"intra_matrix", kMatrix63, "Syntax error in matrix \"" + kMatrix63 + "\" at coeff 62"},
      {"inter_matrix", "", "Syntax error in matrix \"\" at coeff 0"},
      {"vtag", "abc", "video tag parameter must be 4 chars"},
      {"atag", "abcde", "audio tag parameter must be 4 chars"},
      {"stag", "", "subtitle tag parameter must be 4 chars"},
      {"newvideo", "", "At least one output file must be specified"},
      {"newsubtitle", "", "At least one output file must be specified"},
      {"threads", "-1", "Invalid value for threads: -1"},
      {"threads", "two", "'two' is not a valid integer value"},
      {"vpre", "nosuch", "Preset \"nosuch\" not found"},
      {"fpre", "libx264-hq", "Preset \"libx264-hq\" not found"},
      {"vbsf", "no_such_filter", "Unknown bitstream filter no_such_filter"},
      {"absf", "no_such_filter=x", "Unknown bitstream filter no_such_filter=x"},
      {"v", "abc", "'abc' is not a valid integer value"},
      {"vframes", "", "'' is not a valid integer value"},
      {"fs", "1e3", "'1e3' is not a valid integer value"},
      {"loglevel", "loud", "'loud' is not a valid integer value"},
      {"adrift_threshold", "x", "'x' is not a valid floating point value"},
  };
  for (const TErrorCase& c : cases) {
    engine_.ResetOptions();
    EXPECT_EQ(ErrorOf([&] { engine_.SetOption(c.name, c.value); }), c.message)
        << c.name << "=" << c.value;
  }
}

TEST_F(OptionTable, BooleansAreTrueUnlessExactlyZero) {
  const std::vector<std::pair<const char*, bool TOptionState::*>> flags = {
      {"dump", &TOptionState::do_pkt_dump},
      {"hex", &TOptionState::do_hex_dump},
      {"re", &TOptionState::rate_emu},
      {"loop_input", &TOptionState::loop_input},
      {"shortest", &TOptionState::shortest},
      {"intra", &TOptionState::intra_only},
      {"vn", &TOptionState::video_disable},
      {"sameq", &TOptionState::same_quality},
      {"deinterlace", &TOptionState::do_deinterlace},
      {"psnr", &TOptionState::do_psnr},
      {"qphist", &TOptionState::qp_hist},
      {"force_fps", &TOptionState::force_fps},
      {"an", &TOptionState::audio_disable},
      {"sn", &TOptionState::subtitle_disable},
      {"isync", &TOptionState::input_sync},
  };
  const std::vector<std::pair<std::string, bool>> values = {
      {"", true}, {"1", true}, {"no", true}, {"0", false}, {" 0", true}};
  for (const auto& [name, field] : flags) {
    for (const auto& [value, expected] : values) {
      engine_.ResetOptions();
      engine_.SetOption(name, value);
      EXPECT_EQ(engine_.Options().*field, expected) << name << "=\"" << value << "\"";
    }
  }
}

TEST_F(OptionTable, IntegersSetTheirStateAndRefuseOtherText) {
  const std::vector<std::pair<const char*, int TOptionState::*>> fields = {
      {"loop_output", &TOptionState::loop_output},
      {"v", &TOptionState::verbose},
      {"vsync", &TOptionState::video_sync_method},
      {"async", &TOptionState::audio_sync_method},
      {"vglobal", &TOptionState::video_global_header},
      {"programid", &TOptionState::program_id},
      {"copyinkf", &TOptionState::copy_initial_nonkeyframes},
      {"vframes", &TOptionState::max_video_frames},
      {"aframes", &TOptionState::max_audio_frames},
      {"dframes", &TOptionState::max_data_frames},
      {"vdt", &TOptionState::video_discard},
      {"dc", &TOptionState::intra_dc_precision},
      {"vol", &TOptionState::audio_volume},
      {"vc", &TOptionState::video_channel},
      {"top", &TOptionState::top_field_first},
      {"me_threshold", &TOptionState::me_threshold},
  };
  for (const auto& [name, field] : fields) {
    engine_.SetOption(name, "-7");
    EXPECT_EQ(engine_.Options().*field, -7) << name;
    EXPECT_EQ(ErrorOf([&] { engine_.SetOption(name, "7x"); }), "'7x' is not a valid integer value")
        << name;
    EXPECT_EQ(engine_.Options().*field, -7) << name << " changed by a refused value";
  }
}

struct TEffectCase {
  const char* name;
  std::string value;
  std::function<void(const TOptionState&)> check;
};

TEST_F(OptionTable, ValuesTakeEffect) {
  const std::vector<TEffectCase> cases = {
      {"aspect", "16:9", [](auto& s) { EXPECT_DOUBLE_EQ(s.frame_aspect_ratio, 16.0 / 9.0); }},
      {"aspect", "1.5", [](auto& s) { EXPECT_DOUBLE_EQ(s.frame_aspect_ratio, 1.5); }},
      {"s", "vga", [](auto& s) { EXPECT_EQ(s.frame_width * 10000 + s.frame_height, 6400480); }},
      {"s", "352x288", [](auto& s) { EXPECT_EQ(s.frame_width * 10000 + s.frame_height, 3520288); }},
      {"r", "30000/1001",
       [](auto& s) {
         EXPECT_EQ(av_cmp_q(s.frame_rate, {30000, 1001}), 0);
       }},
      {"r", "pal",
       [](auto& s) {
         EXPECT_EQ(av_cmp_q(s.frame_rate, {25, 1}), 0);
       }},
      {"pix_fmt", "yuv422p", [](auto& s) { EXPECT_EQ(s.frame_pix_fmt, AV_PIX_FMT_YUV422P); }},
      {"sample_fmt", "s16", [](auto& s) { EXPECT_EQ(s.audio_sample_fmt, AV_SAMPLE_FMT_S16); }},
      {"f", "mp4", [](auto& s) { EXPECT_EQ(s.file_format, "mp4"); }},
      {"f", "pgmyuv",
       [](auto& s) {
         EXPECT_EQ(s.file_format, "image2");
         EXPECT_TRUE(s.pgmyuv_compat);
       }},
      {"map", "0.1",
       [](auto& s) {
         ASSERT_EQ(s.stream_maps.size(), 1u);
         const TStreamMap& m = s.stream_maps[0];
         EXPECT_EQ(std::vector<int>(
                       {m.file_index, m.stream_index, m.sync_file_index, m.sync_stream_index}),
                   std::vector<int>({0, 1, 0, 1}));
       }},
      {"map", "1.2:3.4",
       [](auto& s) {
         ASSERT_EQ(s.stream_maps.size(), 1u);
         const TStreamMap& m = s.stream_maps[0];
         EXPECT_EQ(std::vector<int>(
                       {m.file_index, m.stream_index, m.sync_file_index, m.sync_stream_index}),
                   std::vector<int>({1, 2, 3, 4}));
       }},
      {"map_meta_data", "1:0",
       [](auto& s) {
         ASSERT_EQ(s.meta_data_maps.size(), 1u);
         EXPECT_EQ(s.meta_data_maps[0].out_file, 1);
         EXPECT_EQ(s.meta_data_maps[0].in_file, 0);
       }},
      {"t", "10.5",
       [](auto& s) {
         EXPECT_EQ(s.recording_time_us, 10500000);
         EXPECT_EQ(s.total_duration_us, 10500000);
       }},
      {"ss", "00:01:00", [](auto& s) { EXPECT_EQ(s.start_time_us, 60000000); }},
      {"itsoffset", "-2", [](auto& s) { EXPECT_EQ(s.input_ts_offset_us, -2000000); }},
      {"timestamp", "1970-01-02T00:00:00.6Z", [](auto& s) { EXPECT_EQ(s.rec_timestamp_s, 86401); }},
      {"itsscale", "3:0.5",
       [](auto& s) {
         EXPECT_EQ(s.input_ts_scale[3], 0.5);
         EXPECT_FALSE(s.input_ts_scale[2].has_value());
       }},
      {"metadata", "title=a=b",
       [](auto& s) {
         ASSERT_EQ(s.metadata.size(), 1u);
         EXPECT_EQ(s.metadata[0], std::make_pair(std::string("title"), std::string("a=b")));
       }},
      {"streamid", "2:301", [](auto& s) { EXPECT_EQ(s.stream_id_map[2], 301); }},
      {"vtag", "DIVX", [](auto& s) { EXPECT_EQ(s.video_codec_tag, MKTAG('D', 'I', 'V', 'X')); }},
      {"atag", "mp4a", [](auto& s) { EXPECT_EQ(s.audio_codec_tag, MKTAG('m', 'p', '4', 'a')); }},
      {"stag", "tx3g", [](auto& s) { EXPECT_EQ(s.subtitle_codec_tag, MKTAG('t', 'x', '3', 'g')); }},
      {"ar", "0", [](auto& s) { EXPECT_EQ(s.audio_sample_rate, 44100); }},
      {"ar", "22050", [](auto& s) { EXPECT_EQ(s.audio_sample_rate, 22050); }},
      {"ac", "-1", [](auto& s) { EXPECT_EQ(s.audio_channels, 2); }},
      {"ac", "6", [](auto& s) { EXPECT_EQ(s.audio_channels, 6); }},
      {"aq", "3.5", [](auto& s) { EXPECT_FLOAT_EQ(s.audio_qscale, 3.5f); }},
      {"qscale", "255", [](auto& s) { EXPECT_FLOAT_EQ(s.video_qscale, 255.0f); }},
      {"pass", "2", [](auto& s) { EXPECT_EQ(s.do_pass, 2); }},
      {"fs", "5000000000", [](auto& s) { EXPECT_EQ(s.limit_filesize_bytes, 5000000000LL); }},
      {"adrift_threshold", "0.25",
       [](auto& s) { EXPECT_DOUBLE_EQ(s.audio_drift_threshold_s, 0.25); }},
      {"dts_delta_threshold", "3", [](auto& s) { EXPECT_DOUBLE_EQ(s.dts_delta_threshold_s, 3.0); }},
      {"muxdelay", "0.2", [](auto& s) { EXPECT_DOUBLE_EQ(s.mux_delay_s, 0.2); }},
      {"muxpreload", "0.3", [](auto& s) { EXPECT_DOUBLE_EQ(s.mux_preload_s, 0.3); }},
      {"copyts", "0", [](auto& s) { EXPECT_TRUE(s.copy_ts); }},
      {"xerror", "0", [](auto& s) { EXPECT_TRUE(s.exit_on_error); }},
      {"vlang", "eng", [](auto& s) { EXPECT_EQ(s.video_language, "eng"); }},
      {"alang", "fre", [](auto& s) { EXPECT_EQ(s.audio_language, "fre"); }},
      {"slang", "ger", [](auto& s) { EXPECT_EQ(s.subtitle_language, "ger"); }},
      {"tvstd", "pal", [](auto& s) { EXPECT_EQ(s.video_standard, "pal"); }},
      {"passlogfile", "/tmp/x", [](auto& s) { EXPECT_EQ(s.pass_log_file, "/tmp/x"); }},
      {"rc_override", "0,10,5/11,20,-80",
       [](auto& s) { EXPECT_EQ(s.video_rc_override, "0,10,5/11,20,-80"); }},
      {"vf", "scale=32:24", [](auto& s) { EXPECT_EQ(s.vfilters, "scale=32:24"); }},
      {"vfilters", "hflip", [](auto& s) { EXPECT_EQ(s.vfilters, "hflip"); }},
      {"vstats_file", "/tmp/v.log", [](auto& s) { EXPECT_EQ(s.vstats_filename, "/tmp/v.log"); }},
      {"vstats", "",
       [](auto& s) {
         EXPECT_TRUE(s.vstats_filename.find("/vstats_") != std::string::npos) << s.vstats_filename;
         EXPECT_EQ(s.vstats_filename.size() - s.vstats_filename.rfind("/vstats_"), 18u);
       }},
      {"intra_matrix", kMatrix64,
       [](auto& s) {
         ASSERT_TRUE(s.intra_matrix.has_value());
         for (int i = 0; i < kMatrixSize; ++i) EXPECT_EQ((*s.intra_matrix)[i], i + 1);
         EXPECT_FALSE(s.inter_matrix.has_value());
       }},
      {"vbsf", "h264_mp4toannexb",
       [](auto& s) {
         ASSERT_EQ(s.video_bitstream_filters.size(), 1u);
         EXPECT_EQ(s.video_bitstream_filters[0].name, "h264_mp4toannexb");
       }},
      {"absf", "aac_adtstoasc=x=1",
       [](auto& s) {
         ASSERT_EQ(s.audio_bitstream_filters.size(), 1u);
         EXPECT_EQ(s.audio_bitstream_filters[0].name, "aac_adtstoasc");
         EXPECT_EQ(s.audio_bitstream_filters[0].args, "x=1");
       }},
      {"sbsf", "=null", [](auto& s) { EXPECT_TRUE(s.subtitle_bitstream_filters.empty()); }},
      {"sbsf", "null", [](auto& s) { EXPECT_EQ(s.subtitle_bitstream_filters.size(), 1u); }},
  };
  for (const TEffectCase& c : cases) {
    SCOPED_TRACE(std::string(c.name) + "=" + c.value);
    engine_.ResetOptions();
    engine_.SetOption(c.name, c.value);
    c.check(engine_.Options());
  }
}

TEST_F(OptionTable, MatrixIsZeroedOnReuse) {
  engine_.SetOption("inter_matrix", kMatrix64);
  EXPECT_ANY_THROW(engine_.SetOption("inter_matrix", "9,9"));
  ASSERT_TRUE(engine_.Options().inter_matrix.has_value());
  const TMatrix& m = *engine_.Options().inter_matrix;
  EXPECT_EQ(m[0], 9);
  EXPECT_EQ(m[1], 9);
  EXPECT_EQ(m[2], 0);
  EXPECT_EQ(m[63], 0);
}

TEST_F(OptionTable, CropNeedsAFrameBigEnoughAndShrinksIt) {
  engine_.SetOption("s", "352x288");
  engine_.SetOption("croptop", "0");
  engine_.SetOption("cropleft", "-4");
  EXPECT_EQ(log_.Count(), 0u);
  EXPECT_EQ(engine_.Options().frame_height, 288);
  EXPECT_NE(ErrorOf([&] { engine_.SetOption("croptop", "288"); }), "");
  engine_.SetOption("croptop", "8");
  engine_.SetOption("cropbottom", "10");
  engine_.SetOption("cropright", "2");
  EXPECT_TRUE(log_.Has(AV_LOG_WARNING, "CropXXX is deprecated in favor of the crop avfilter"));
  const TOptionState& s = engine_.Options();
  EXPECT_EQ(s.crop_top, 8);
  EXPECT_EQ(s.crop_bottom, 10);
  EXPECT_EQ(s.crop_right, 2);
  EXPECT_EQ(s.frame_height, 270);
  EXPECT_EQ(s.frame_width, 350);
  EXPECT_NE(ErrorOf([&] { engine_.SetOption("cropleft", "350"); }), "");
}

TEST_F(OptionTable, CodecChoiceDropsThePreviousOne) {
  engine_.SetOption("vcodec", "copy");
  EXPECT_TRUE(engine_.Options().video_stream_copy);
  EXPECT_EQ(engine_.Options().video_codec_name, "");
  engine_.SetOption("vcodec", "mpeg4");
  EXPECT_FALSE(engine_.Options().video_stream_copy);
  EXPECT_EQ(engine_.Options().video_codec_name, "mpeg4");
  engine_.SetOption("acodec", "mp2");
  engine_.SetOption("acodec", "copy");
  EXPECT_TRUE(engine_.Options().audio_stream_copy);
  EXPECT_EQ(engine_.Options().audio_codec_name, "");
  engine_.SetOption("scodec", "mov_text");
  EXPECT_EQ(engine_.Options().subtitle_codec_name, "mov_text");
}

TEST_F(OptionTable, LogsTheirMessages) {
  for (const char* name : {"L", "h", "version", "formats", "codecs", "bsfs", "protocols", "filters",
                           "i", "y", "benchmark"}) {
    engine_.SetOption(name, "");
    EXPECT_TRUE(log_.Has(AV_LOG_INFO, std::string("Do nothing: option - ") + name)) << name;
  }
  engine_.SetOption("timelimit", "10");
  EXPECT_TRUE(log_.Has(AV_LOG_WARNING, "Warning: -timelimit not implemented on Windows"));
  engine_.SetOption("f", "pgmyuv");
  EXPECT_TRUE(log_.Has(AV_LOG_INFO, "pgmyuv format is deprecated, use image2"));
  log_.Clear();
  engine_.SetOption("pix_fmt", "list");
  EXPECT_GT(log_.Count(), 50u);
  EXPECT_TRUE(log_.Contains("yuv420p"));
  EXPECT_EQ(engine_.Options().frame_pix_fmt, AV_PIX_FMT_NONE);
  log_.Clear();
  engine_.SetOption("sample_fmt", "list");
  EXPECT_TRUE(log_.Contains("fltp"));
}

TEST_F(OptionTable, LogLevelTakesNamesAndNumbers) {
  const std::vector<std::pair<std::string, int>> cases = {
      {"Debug", AV_LOG_DEBUG}, {"QUIET", AV_LOG_QUIET}, {"warning", AV_LOG_WARNING},
      {"20", AV_LOG_ERROR},    {"-100", AV_LOG_QUIET},  {"7", AV_LOG_PANIC},
      {"99", AV_LOG_DEBUG},    {"40", AV_LOG_VERBOSE}};
  for (const auto& [text, level] : cases) {
    engine_.SetOption("loglevel", text);
    EXPECT_EQ(log_.level(), level) << text;
  }
}

TEST_F(OptionTable, LowBitrateWarnsAndIsKept) {
  engine_.SetOption("b", "300");
  EXPECT_TRUE(log_.Has(AV_LOG_WARNING,
                       "WARNING: The bitrate parameter is set too low. It takes bits/s as "
                       "argument, not kbits/s"));
  EXPECT_EQ(engine_.GenericOptions().CodecContext(AVMEDIA_TYPE_VIDEO)->bit_rate, 300);
  log_.Clear();
  engine_.SetOption("ab", "128000");
  engine_.SetOption("vb", "800000");
  EXPECT_EQ(log_.Count(), 0u);
  EXPECT_EQ(engine_.GenericOptions().CodecContext(AVMEDIA_TYPE_AUDIO)->bit_rate, 128000);
  EXPECT_EQ(engine_.GenericOptions().CodecContext(AVMEDIA_TYPE_VIDEO)->bit_rate, 800000);
  engine_.SetOption("ab", "64");
  EXPECT_EQ(log_.Count(), 1u);
}

TEST_F(OptionTable, FrameHookArgumentsSplitAtBarOrSpaces) {
  engine_.SetOption("vhook", "hook.so|a b|c");
  EXPECT_EQ(engine_.hook_args, std::vector<std::string>({"hook.so", "a b", "c"}));
  EXPECT_TRUE(engine_.Options().using_vhook);
  engine_.SetOption("vhook", "hook.so  -x 1");
  EXPECT_EQ(engine_.hook_args, std::vector<std::string>({"hook.so", "-x", "1"}));
  engine_.hook_result = 3;
  EXPECT_EQ(ErrorOf([&] { engine_.SetOption("vhook", "bad.so 1"); }),
            "Failed to add video hook function: bad.so 1");
}

TEST_F(OptionTable, NewStreamsGoToTheLastOutput) {
  engine_.output_files = 1;
  engine_.SetOption("newaudio", "");
  engine_.SetOption("newvideo", "");
  engine_.SetOption("newsubtitle", "");
  EXPECT_EQ(engine_.new_streams, std::vector<AVMediaType>({AVMEDIA_TYPE_AUDIO, AVMEDIA_TYPE_VIDEO,
                                                           AVMEDIA_TYPE_SUBTITLE}));
}

TEST_F(OptionTable, UnknownNamesAreIgnored) {
  engine_.SetOption("no_such_option", "1");
  engine_.SetOption("VN", "");  // names are case-sensitive
  EXPECT_TRUE(engine_.AcceptedNames().empty());
  EXPECT_FALSE(engine_.Options().video_disable);
}

TEST_F(OptionTable, ResetRestoresEveryDefault) {
  for (const auto& [name, value] :
       std::vector<std::pair<const char*, const char*>>{{"s", "320x240"},
                                                        {"vcodec", "mpeg4"},
                                                        {"map", "0.0"},
                                                        {"metadata", "a=b"},
                                                        {"t", "5"},
                                                        {"ar", "8000"},
                                                        {"b", "500000"},
                                                        {"vbsf", "null"}}) {
    engine_.SetOption(name, value);
  }
  engine_.ResetOptions();
  const TOptionState& s = engine_.Options();
  const TOptionState defaults;
  EXPECT_EQ(s.frame_width, 0);
  EXPECT_EQ(s.video_codec_name, "");
  EXPECT_TRUE(s.stream_maps.empty());
  EXPECT_TRUE(s.metadata.empty());
  EXPECT_EQ(s.recording_time_us, defaults.recording_time_us);
  EXPECT_EQ(s.total_duration_us, -1);
  EXPECT_EQ(s.audio_sample_rate, 44100);
  EXPECT_TRUE(s.video_bitstream_filters.empty());
  EXPECT_TRUE(engine_.AcceptedNames().empty());
  EXPECT_TRUE(engine_.CodecOptionValues(AVMEDIA_TYPE_VIDEO).empty());
  EXPECT_NE(engine_.GenericOptions().CodecContext(AVMEDIA_TYPE_VIDEO)->bit_rate, 500000);
}

TEST(OptionDefaults, MatchTheEngineDefaults) {
  const TOptionState s;
  EXPECT_EQ(s.verbose, 1);
  EXPECT_EQ(s.loop_output, -1);
  EXPECT_EQ(s.video_sync_method, -1);
  EXPECT_DOUBLE_EQ(s.audio_drift_threshold_s, 0.1);
  EXPECT_DOUBLE_EQ(s.dts_delta_threshold_s, 10.0);
  EXPECT_EQ(s.max_video_frames, INT_MAX);
  EXPECT_EQ(s.sws_flags, 4);
  EXPECT_EQ(s.recording_time_us, INT64_MAX);
  EXPECT_DOUBLE_EQ(s.mux_delay_s, 0.7);
  EXPECT_DOUBLE_EQ(s.mux_preload_s, 0.5);
  EXPECT_EQ(s.frame_rate.den, 0);
  EXPECT_EQ(s.top_field_first, -1);
  EXPECT_EQ(s.intra_dc_precision, 8);
  EXPECT_EQ(s.audio_channels, 2);
  EXPECT_FLOAT_EQ(s.audio_qscale, -99999.0f);
  EXPECT_EQ(s.audio_volume, 256);
}

}  // namespace
}  // namespace kestrel::test
