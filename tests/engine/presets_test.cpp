#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "engine/presets.h"
#include "tests/engine/option_test_support.h"
#include "tests/support/fixtures.h"

namespace kestrel::test {
namespace {

using Presets = OptionTest;

// Opens a libx264 encoder on a 64x48 picture with the engine's accepted video options,
// encodes one frame and returns the option summary the encoder writes into the stream
// ("cabac=1 ref=4 ..."), as key=value pairs. *unused receives the options it ignored.
std::map<std::string, std::string> EncodeWithX264(const TOptionValues& values, int* open_result,
                                                  int* unused) {
  std::map<std::string, std::string> summary;
  const AVCodec* codec = av::avcodec_find_encoder_by_name("libx264");
  AVCodecContext* ctx = av::avcodec_alloc_context3(codec);
  ctx->width = 64;
  ctx->height = 48;
  ctx->pix_fmt = AV_PIX_FMT_YUV420P;
  ctx->time_base = {1, 25};
  ctx->framerate = {25, 1};
  AVDictionary* dict = TGenericOptions::ToDictionary(values);
  {
    std::lock_guard<std::mutex> lock(CodecLock());
    *open_result = av::avcodec_open2(ctx, codec, &dict);
  }
  *unused = av::av_dict_count(dict);
  av::av_dict_free(&dict);
  if (*open_result == 0) {
    AVFrame* frame = av::av_frame_alloc();
    frame->width = 64;
    frame->height = 48;
    frame->format = AV_PIX_FMT_YUV420P;
    frame->pts = 0;
    av::av_frame_get_buffer(frame, 0);
    for (int plane = 0; plane < 3; ++plane)
      std::memset(frame->data[plane], 100 + plane * 20, frame->linesize[plane] * (plane ? 24 : 48));
    av::avcodec_send_frame(ctx, frame);
    av::avcodec_send_frame(ctx, nullptr);
    AVPacket* packet = av::av_packet_alloc();
    std::string bytes;
    while (av::avcodec_receive_packet(ctx, packet) == 0) {
      bytes.append(reinterpret_cast<const char*>(packet->data), packet->size);
      av::av_packet_unref(packet);
    }
    av::av_packet_free(&packet);
    av::av_frame_free(&frame);
    const size_t start = bytes.find("options: ");
    if (start != std::string::npos) {
      std::istringstream words(bytes.substr(start + 9, bytes.find('\0', start) - start - 9));
      std::string word;
      while (words >> word) {
        const size_t equals = word.find('=');
        if (equals != std::string::npos) summary[word.substr(0, equals)] = word.substr(equals + 1);
      }
    }
  }
  std::lock_guard<std::mutex> lock(CodecLock());
  av::avcodec_free_context(&ctx);
  return summary;
}

// How a preset line shows in the encoder's own summary, for lines the encoder keeps as
// given whatever the other settings are.
std::string SummaryKey(const std::string& key) {
  static const std::map<std::string, std::string> kKeys = {{"refs", "ref"},
                                                           {"subq", "subme"},
                                                           {"motion-est", "me"},
                                                           {"g", "keyint"},
                                                           {"keyint_min", "keyint_min"},
                                                           {"sc_threshold", "scenecut"},
                                                           {"qmin", "qpmin"},
                                                           {"qmax", "qpmax"},
                                                           {"qdiff", "qpstep"},
                                                           {"coder", "cabac"},
                                                           {"qp", "qp"},
                                                           {"bf", "bframes"}};
  const auto found = kKeys.find(key);
  return found == kKeys.end() ? "" : found->second;
}

std::vector<std::pair<std::string, std::string>> PresetLines(const char* text) {
  std::vector<std::pair<std::string, std::string>> lines;
  std::istringstream stream(text);
  std::string line;
  while (std::getline(stream, line)) {
    const size_t equals = line.find('=');
    lines.emplace_back(line.substr(0, equals), line.substr(equals + 1));
  }
  return lines;
}

TEST_F(Presets, TableHoldsTheFortyNamesEachEndingInLineFeed) {
  const auto& presets = OptionsPresets();
  ASSERT_EQ(presets.size(), 40u);
  EXPECT_STREQ(presets.front().name, "libx264-baseline");
  EXPECT_STREQ(presets.back().name, "libx264-mp4");
  for (const TOptionsPreset& preset : presets) {
    const std::string text = preset.text;
    EXPECT_EQ(text.back(), '\n') << preset.name;
    for (const auto& [key, value] : PresetLines(preset.text))
      EXPECT_FALSE(key.empty() || value.empty()) << preset.name;
  }
}

TEST_F(Presets, EveryPresetOpensARealEncoderAndTakesEffect) {
  if (!av::avcodec_find_encoder_by_name("libx264")) GTEST_SKIP() << "no libx264 encoder";
  for (const TOptionsPreset& preset : OptionsPresets()) {
    SCOPED_TRACE(preset.name);
    engine_.ResetOptions();
    engine_.SetOption("vcodec", "libx264");
    ASSERT_EQ(ErrorOf([&] { engine_.SetOption("vpre", preset.name); }), "");
    int open_result = 0;
    int unused = 0;
    const auto summary =
        EncodeWithX264(engine_.CodecOptionValues(AVMEDIA_TYPE_VIDEO), &open_result, &unused);
    ASSERT_EQ(open_result, 0);
    EXPECT_EQ(unused, 0) << "options the encoder ignored";
    ASSERT_FALSE(summary.empty());
    for (const auto& [key, value] : PresetLines(preset.text)) {
      const std::string summary_key = SummaryKey(key);
      if (summary_key.empty()) continue;
      const auto found = summary.find(summary_key);
      // Constant-quantiser presets show no quantiser range.
      if (found == summary.end() && summary.at("rc") == "cqp") continue;
      ASSERT_NE(found, summary.end()) << summary_key;
      const std::string expected = key == "motion-est" ? value : std::to_string(std::stoi(value));
      EXPECT_EQ(found->second, expected) << key << "=" << value;
    }
  }
}

TEST_F(Presets, HqTranslatesTodaysOptionNames) {
  if (!av::avcodec_find_encoder_by_name("libx264")) GTEST_SKIP() << "no libx264 encoder";
  engine_.SetOption("vcodec", "libx264");
  engine_.SetOption("vpre", "hq");
  int open_result = 0;
  int unused = 0;
  auto summary =
      EncodeWithX264(engine_.CodecOptionValues(AVMEDIA_TYPE_VIDEO), &open_result, &unused);
  ASSERT_EQ(open_result, 0);
  const std::map<std::string, std::string> expected = {
      {"ref", "4"},         {"bframes", "3"},   {"8x8dct", "1"},         {"me", "umh"},
      {"subme", "8"},       {"direct", "3"},    {"b_adapt", "2"},        {"trellis", "1"},
      {"weightb", "1"},     {"mixed_ref", "1"}, {"weightp", "2"},        {"fast_pskip", "1"},
      {"deblock", "1:0:0"}, {"chroma_me", "1"}, {"analyse", "0x3:0x113"}};
  for (const auto& [key, value] : expected) EXPECT_EQ(summary[key], value) << key;

  engine_.ResetOptions();
  engine_.SetOption("vcodec", "libx264");
  engine_.SetOption("vpre", "ultrafast");
  summary = EncodeWithX264(engine_.CodecOptionValues(AVMEDIA_TYPE_VIDEO), &open_result, &unused);
  EXPECT_EQ(summary["deblock"], "0:0:0");
  // No inter partitions; intra 4x4 analysis has no off switch among today's options.
  EXPECT_EQ(summary["analyse"], "0x1:0");
  EXPECT_EQ(summary["mbtree"], "0");

  engine_.ResetOptions();
  engine_.SetOption("vcodec", "libx264");
  engine_.SetOption("vpre", "lossless_fast");
  summary = EncodeWithX264(engine_.CodecOptionValues(AVMEDIA_TYPE_VIDEO), &open_result, &unused);
  EXPECT_EQ(summary["rc"], "cqp");
  EXPECT_EQ(summary["qp"], "0");

  engine_.ResetOptions();
  engine_.SetOption("vcodec", "libx264");
  engine_.SetOption("vpre", "psp");
  summary = EncodeWithX264(engine_.CodecOptionValues(AVMEDIA_TYPE_VIDEO), &open_result, &unused);
  EXPECT_EQ(summary["bitrate"], "1250");
  EXPECT_EQ(summary["vbv_maxrate"], "1500");
  EXPECT_EQ(summary["vbv_bufsize"], "4000");
}

TEST_F(Presets, LookupIgnoresCaseThenTriesThePendingCodec) {
  engine_.SetOption("vcodec", "libx264");
  engine_.SetOption("vpre", "hq");
  EXPECT_TRUE(engine_.AcceptedNames().size() > 10);
  engine_.ResetOptions();
  engine_.SetOption("vcodec", "libx264");
  engine_.SetOption("vpre", "LIBX264-HQ");
  EXPECT_TRUE(engine_.AcceptedNames().size() > 10);
  engine_.ResetOptions();
  // Without a pending video codec "hq" is no preset name and no file.
  EXPECT_EQ(ErrorOf([&] { engine_.SetOption("vpre", "hq"); }), "Preset \"hq\" not found");
  // "apre" prefixes the audio codec name (whose private options are an audio encoder's,
  // so the video encoder's 8x8dct is refused there).
  engine_.SetOption("acodec", "libx264");
  EXPECT_EQ(ErrorOf([&] { engine_.SetOption("apre", "main"); }),
            "libx264-main: Invalid option or argument: \"8x8dct=0\", parsed as \"8x8dct\" = \"0\"");
}

struct TPresetFileCase {
  std::string text;
  std::string error;  // with %s for the preset name
};

TEST_F(Presets, FilesAreParsedLineByLine) {
  const std::string path = TempDir() + "/test.ffpreset";
  const std::vector<TPresetFileCase> cases = {
      {"\r\n  g=30\r\n\r\nvcodec=mpeg4\rqmin=3  \n", ""},
      {"g=30\nqmin\n", "%s: Invalid syntax: \"qmin\""},
      {"=5\n", "%s: Invalid syntax: \"=5\""},
      {"g=\n", "%s: Invalid syntax: \"g=\""},
      {"g=30\nno_such=1\n",
       "%s: Invalid option or argument: \"no_such=1\", parsed as \"no_such\" = \"1\""},
      {"g=lots\n", "%s: Invalid option or argument: \"g=lots\", parsed as \"g\" = \"lots\""},
  };
  for (const TPresetFileCase& c : cases) {
    SCOPED_TRACE(c.text);
    std::ofstream(path, std::ios::binary) << c.text;
    engine_.ResetOptions();
    std::string expected = c.error;
    if (!expected.empty()) expected.replace(expected.find("%s"), 2, path);
    EXPECT_EQ(ErrorOf([&] { engine_.SetOption("fpre", path); }), expected);
  }
  EXPECT_EQ(ErrorOf([&] { engine_.SetOption("fpre", TempDir()); }),
            "Preset \"" + TempDir() + "\" not found");
  engine_.ResetOptions();
  std::ofstream(path, std::ios::binary) << "g=30\nVCODEC=mpeg4\nqmin=3\n";
  engine_.SetOption("fpre", path);
  EXPECT_EQ(engine_.Options().video_codec_name, "mpeg4");
  EXPECT_EQ(engine_.AcceptedNames(), std::vector<std::string>({"g", "qmin"}));
  // Errors name the last text looked up, here with the pending codec name before it.
  engine_.ResetOptions();
  std::ofstream(path, std::ios::binary) << "qmin\n";
  engine_.SetOption("vcodec", "x");
  EXPECT_EQ(ErrorOf([&] { engine_.SetOption("vpre", path); }),
            "x-" + path + ": Invalid syntax: \"qmin\"");
}

}  // namespace
}  // namespace kestrel::test
