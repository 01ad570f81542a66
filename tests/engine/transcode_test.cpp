// End-to-end conversions through the engine core, every output checked with ffprobe.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "engine/ffmpeg_core.h"
#include "medialib/av.h"
#include "medialib/library_loader.h"
#include "tests/support/fixtures.h"

namespace kestrel {
namespace {

using TOptions = std::vector<std::pair<std::string, std::string>>;

class Transcode : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(LoadLibs(kEngineLibs)) << LastError(); }

  // 2 s of 320x240 25 fps test picture and 44.1 kHz stereo tone.
  static std::string AudioVideoSource() {
    return test::MakeFixture("engine_av_source.avi",
                             "-f lavfi -i testsrc=size=320x240:rate=25:duration=2 "
                             "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=2 "
                             "-ac 2 -c:v mpeg4 -q:v 3 -c:a pcm_s16le");
  }
  static std::string AudioSource() {
    return test::MakeFixture("engine_audio_source.wav",
                             "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=2 -ac 2");
  }
  static std::string Output(const std::string& name) { return test::TempDir() + "/" + name; }
};

// Opens input and output on `engine` with the options given before each, without running.
bool Open(TCustomFFmpeg& engine, const std::string& input, const TOptions& input_options,
          const std::string& output, const TOptions& output_options) {
  engine.Reset();
  engine.SetVerbose(-1);
  for (const auto& [name, value] : input_options) engine.SetOption(name, value);
  if (!engine.OpenInputFile(input)) return false;
  for (const auto& [name, value] : output_options) engine.SetOption(name, value);
  std::remove(output.c_str());
  return engine.OpenOutputFile(output, false) == 1;
}

double Number(const std::map<std::string, std::string>& probe, const std::string& key) {
  const auto it = probe.find(key);
  return it == probe.end() ? -1 : std::atof(it->second.c_str());
}

double Rate(const std::map<std::string, std::string>& probe, const std::string& key) {
  const auto it = probe.find(key);
  if (it == probe.end()) return -1;
  int num = 0, den = 1;
  if (std::sscanf(it->second.c_str(), "%d/%d", &num, &den) != 2 || den == 0) return -1;
  return static_cast<double>(num) / den;
}

// "streams.stream.N." of the first stream of that codec_type, or "" when there is none.
std::string StreamKey(const std::map<std::string, std::string>& probe, const std::string& type) {
  for (int i = 0; i < 8; ++i) {
    const std::string key = "streams.stream." + std::to_string(i) + ".";
    const auto it = probe.find(key + "codec_type");
    if (it != probe.end() && it->second == type) return key;
  }
  return "";
}

std::string Text(const std::map<std::string, std::string>& probe, const std::string& key) {
  const auto it = probe.find(key);
  return it == probe.end() ? "" : it->second;
}

struct TConversion {
  const char* name;
  const char* file;
  TOptions options;
  const char* format;  // part of ffprobe's format_name
  const char* video;   // codec_name of stream 0, "" for audio only
  const char* audio;   // codec_name of the audio stream
  int width, height;
  double fps;
  int sample_rate, channels;
};

const char* AmrOrAac() {
  return av::avcodec_find_encoder_by_name("libopencore_amrnb") ? "amr_nb" : "aac";
}

TEST_F(Transcode, ConversionsLandWithTheirContainerCodecsAndShape) {
  const bool amr = av::avcodec_find_encoder_by_name("libopencore_amrnb") != nullptr;
  const std::vector<TConversion> table = {
      {"mpeg4_aac_mp4",
       "a.mp4",
       {{"vcodec", "mpeg4"}, {"acodec", "aac"}},
       "mp4",
       "mpeg4",
       "aac",
       320,
       240,
       25,
       44100,
       2},
      {"x264_aac_mp4",
       "b.mp4",
       {{"vcodec", "libx264"}, {"preset", "veryfast"}, {"acodec", "aac"}},
       "mp4",
       "h264",
       "aac",
       320,
       240,
       25,
       44100,
       2},
      {"xvid_mp3_avi",
       "c.avi",
       {{"vcodec", "libxvid"}, {"acodec", "libmp3lame"}},
       "avi",
       "mpeg4",
       "mp3",
       320,
       240,
       25,
       44100,
       2},
      {"pal_dvd",
       "d.mpg",
       {{"target", "pal-dvd"}},
       "mpeg",
       "mpeg2video",
       "ac3",
       720,
       576,
       25,
       48000,
       2},
      {"ntsc_dvd",
       "e.mpg",
       {{"target", "ntsc-dvd"}},
       "mpeg",
       "mpeg2video",
       "ac3",
       720,
       480,
       30000.0 / 1001,
       48000,
       2},
      {"pal_vcd",
       "f.mpg",
       {{"target", "pal-vcd"}},
       "mpeg",
       "mpeg1video",
       "mp2",
       352,
       288,
       25,
       44100,
       2},
      {"wmv2_wma2_asf",
       "g.asf",
       {{"vcodec", "wmv2"}, {"acodec", "wmav2"}},
       "asf",
       "wmv2",
       "wmav2",
       320,
       240,
       25,
       44100,
       2},
      {"flv", "h.flv", {}, "flv", "flv1", "mp3", 320, 240, 25, 44100, 2},
      {"h263_3gp",
       "i.3gp",
       {{"s", "176x144"},
        {"ar", "8000"},
        {"ac", "1"},
        {"acodec", amr ? "libopencore_amrnb" : "aac"},
        {"ab", "12200"}},
       "3gp",
       "h263",
       AmrOrAac(),
       176,
       144,
       25,
       8000,
       1},
      {"mkv", "j.mkv", {}, "matroska", "h264", "vorbis", 320, 240, 25, 44100, 2},
  };
  for (const TConversion& c : table) {
    SCOPED_TRACE(c.name);
    TCustomFFmpeg engine;
    const std::string out = Output(c.file);
    ASSERT_TRUE(Open(engine, AudioVideoSource(), {}, out, c.options)) << engine.LastErrMsg();
    ASSERT_TRUE(engine.Start(false));
    EXPECT_TRUE(engine.Finished()) << engine.ErrorText();
    EXPECT_FALSE(engine.ErrorOccurred()) << engine.ErrorText();
    const auto probe = test::Ffprobe(out);
    ASSERT_FALSE(probe.empty());
    EXPECT_NE(probe.at("format.format_name").find(c.format), std::string::npos)
        << probe.at("format.format_name");
    const std::string v = StreamKey(probe, "video");
    const std::string a = StreamKey(probe, "audio");
    EXPECT_EQ(Text(probe, v + "codec_name"), c.video);
    EXPECT_EQ(Number(probe, v + "width"), c.width);
    EXPECT_EQ(Number(probe, v + "height"), c.height);
    EXPECT_NEAR(Rate(probe, v + "r_frame_rate"), c.fps, 0.01);
    EXPECT_EQ(Text(probe, a + "codec_name"), c.audio);
    EXPECT_EQ(Number(probe, a + "sample_rate"), c.sample_rate);
    EXPECT_EQ(Number(probe, a + "channels"), c.channels);
    EXPECT_NEAR(Number(probe, "format.duration"), 2.0, 0.15);
  }
}

TEST_F(Transcode, AudioOnlyConversionsLandWithTheirCodecs) {
  const std::vector<TConversion> table = {
      {"mp3", "k.mp3", {}, "mp3", "", "mp3", 0, 0, 0, 44100, 2},
      {"aac_m4a", "l.m4a", {{"acodec", "aac"}}, "mp4", "", "aac", 0, 0, 0, 44100, 2},
      {"wav", "m.wav", {}, "wav", "", "pcm_s16le", 0, 0, 0, 44100, 2},
      {"ogg_vorbis", "n.ogg", {{"acodec", "libvorbis"}}, "ogg", "", "vorbis", 0, 0, 0, 44100, 2},
      {"ac3", "o.ac3", {}, "ac3", "", "ac3", 0, 0, 0, 44100, 2},
      {"flac", "p.flac", {}, "flac", "", "flac", 0, 0, 0, 44100, 2},
  };
  for (const TConversion& c : table) {
    SCOPED_TRACE(c.name);
    TCustomFFmpeg engine;
    const std::string out = Output(c.file);
    ASSERT_TRUE(Open(engine, AudioSource(), {}, out, c.options)) << engine.LastErrMsg();
    ASSERT_TRUE(engine.Start(false));
    EXPECT_TRUE(engine.Finished()) << engine.ErrorText();
    const auto probe = test::Ffprobe(out);
    ASSERT_FALSE(probe.empty());
    EXPECT_NE(probe.at("format.format_name").find(c.format), std::string::npos);
    EXPECT_EQ(StreamKey(probe, "video"), "");
    EXPECT_EQ(probe.at("streams.stream.0.codec_name"), c.audio);
    EXPECT_EQ(Number(probe, "streams.stream.0.sample_rate"), c.sample_rate);
    EXPECT_EQ(Number(probe, "streams.stream.0.channels"), c.channels);
    EXPECT_NEAR(Number(probe, "format.duration"), 2.0, 0.1);
  }
}

}  // namespace
}  // namespace kestrel
