// End-to-end conversions through the engine core, every output checked with ffprobe.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/ffmpeg_core.h"
#include "engine/filter_graph.h"
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

// The first video frame of a file as rgb24 bytes, decoded by the ffmpeg command line.
std::string FirstFrameRgb(const std::string& path) {
  std::string out;
  test::RunCommand(
      "ffmpeg -v error -i " + test::ShellQuote(path) + " -frames:v 1 -f rawvideo -pix_fmt rgb24 -",
      &out);
  return out;
}

struct TRgb {
  int r, g, b;
};
TRgb PixelAt(const std::string& rgb, int width, int x, int y) {
  const size_t at = (static_cast<size_t>(y) * width + x) * 3;
  if (at + 2 >= rgb.size()) return {-1, -1, -1};
  return {static_cast<unsigned char>(rgb[at]), static_cast<unsigned char>(rgb[at + 1]),
          static_cast<unsigned char>(rgb[at + 2])};
}

// Runs a prepared engine in the caller's thread and expects a clean finish.
void RunToEnd(TCustomFFmpeg& engine) {
  ASSERT_TRUE(engine.Start(false));
  EXPECT_TRUE(engine.Finished()) << engine.ErrorText();
  EXPECT_FALSE(engine.ErrorOccurred()) << engine.ErrorText();
}

TEST_F(Transcode, StartTimeAndRecordingTimeCutFiveSecondsFromTenOn) {
  const std::string source = test::MakeFixture(
      "engine_counter16.mkv", "-f lavfi -i testsrc=size=160x120:rate=25:duration=16 -c:v ffv1");
  const std::string out = Output("trim.mkv");
  TCustomFFmpeg engine;
  ASSERT_TRUE(Open(engine, source, {{"ss", "10"}}, out, {{"t", "5"}, {"vcodec", "ffv1"}}))
      << engine.LastErrMsg();
  EXPECT_EQ(engine.TotalDuration(), 5000000);
  RunToEnd(engine);
  const auto probe = test::Ffprobe(out);
  EXPECT_NEAR(Number(probe, "format.duration"), 5.0, 0.05);
  const std::vector<std::string> cut = test::FrameChecksums(out);
  const std::vector<std::string> all = test::FrameChecksums(source);
  ASSERT_EQ(all.size(), 400u);
  ASSERT_EQ(cut.size(), 125u);
  EXPECT_EQ(cut.front(), all[250]);
  EXPECT_EQ(cut.back(), all[374]);
}

TEST_F(Transcode, ConstantRateOutputDuplicatesAndVsyncZeroNever) {
  const struct {
    const char* vsync;
    bool dups;
  } cases[] = {{"1", true}, {"-1", true}, {"0", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.vsync);
    TCustomFFmpeg engine;
    std::vector<TProgressInfo> reports;
    engine.SetProgressCallback(
        [&](TCustomFFmpeg&, const TProgressInfo& info) { reports.push_back(info); });
    const std::string out = Output("dup.avi");
    ASSERT_TRUE(Open(engine, AudioVideoSource(), {}, out,
                     {{"vcodec", "mpeg4"}, {"r", "30"}, {"an", "1"}, {"vsync", c.vsync}}));
    RunToEnd(engine);
    const std::string text = engine.LastProgressText();
    if (c.dups) {
      int dup = 0, drop = -1;
      ASSERT_NE(text.find(" dup="), std::string::npos) << text;
      std::sscanf(text.c_str() + text.find(" dup="), " dup=%d drop=%d", &dup, &drop);
      // 50 pictures over 1.96 s fill 59 frames at 30 fps: 9 of them repeated.
      EXPECT_EQ(dup, 9) << text;
      EXPECT_EQ(drop, 0) << text;
      EXPECT_EQ(Number(test::Ffprobe(out), "streams.stream.0.nb_frames"), 59);
    } else {
      EXPECT_EQ(text.find(" dup="), std::string::npos) << text;
    }
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back().FileIndex, -1);
    EXPECT_EQ(reports.back().FrameNumber, c.dups ? 59 : 50);
  }
}

TEST_F(Transcode, LetterboxFilterTextGivesBlackBars) {
  EXPECT_EQ(LibraryFilterText("crop=10:0:1270:720,scale=320:180,pad=320:240:0:30"),
            "crop=1270:720:10:0,scale=320:180,pad=320:240:0:30");
  EXPECT_EQ(LibraryFilterText("crop=w=100:h=50,hflip"), "crop=w=100:h=50,hflip");
  const std::string source = test::MakeFixture(
      "engine_hd.avi", "-f lavfi -i color=c=white:size=1280x720:rate=25:duration=1 -c:v mpeg4");
  const std::string out = Output("letterbox.avi");
  TCustomFFmpeg engine;
  ASSERT_TRUE(Open(engine, source, {}, out,
                   {{"vcodec", "mpeg4"},
                    {"qscale", "2"},
                    {"vf", "crop=10:0:1270:720,scale=320:180,pad=320:240:0:30"}}));
  RunToEnd(engine);
  const auto probe = test::Ffprobe(out);
  EXPECT_EQ(Number(probe, "streams.stream.0.width"), 320);
  EXPECT_EQ(Number(probe, "streams.stream.0.height"), 240);
  const std::string rgb = FirstFrameRgb(out);
  ASSERT_EQ(rgb.size(), 320u * 240 * 3);
  for (int y : {2, 237}) EXPECT_LT(PixelAt(rgb, 320, 160, y).g, 30) << y;
  EXPECT_GT(PixelAt(rgb, 320, 160, 120).g, 220);
}

TEST_F(Transcode, FileSizeLimitBelowTheHeaderStillGivesAPlayableFile) {
  const std::string out = Output("limited.mp4");
  TCustomFFmpeg engine;
  ASSERT_TRUE(Open(engine, AudioVideoSource(), {}, out, {{"vcodec", "mpeg4"}, {"fs", "10"}}));
  RunToEnd(engine);
  const auto probe = test::Ffprobe(out);
  ASSERT_FALSE(probe.empty());
  EXPECT_LT(Number(probe, "format.duration"), 0.5);
  EXPECT_FALSE(test::FrameChecksums(out).empty());
}

TEST_F(Transcode, StopMidConversionLeavesAFinishedFileAndFinishedFalse) {
  const std::string source = test::MakeFixture(
      "engine_long.avi", "-f lavfi -i testsrc=size=320x240:rate=25:duration=60 -c:v mpeg4");
  const std::string out = Output("stopped.mp4");
  TCustomFFmpeg engine;
  std::atomic<int> terminations{0};
  TTerminateInfo end;
  engine.SetTerminateCallback([&](TCustomFFmpeg&, const TTerminateInfo& info) {
    end = info;
    ++terminations;
  });
  std::atomic<int> frames{0};
  engine.SetProgressCallback(
      [&](TCustomFFmpeg&, const TProgressInfo& info) { frames = info.FrameNumber; });
  engine.SetProgressInterval(100000);
  ASSERT_TRUE(Open(engine, source, {}, out, {{"vcodec", "libx264"}, {"preset", "slow"}}));
  ASSERT_TRUE(engine.Start(true));
  while (frames.load() < 10 && !engine.Terminated())
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  engine.Pause();
  const int paused_at = frames.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_LE(frames.load(), paused_at + 1);  // at most the report under way when paused
  engine.Resume();
  engine.Stop(true);
  EXPECT_TRUE(engine.Terminated());
  EXPECT_FALSE(engine.Finished());
  EXPECT_FALSE(engine.ErrorOccurred()) << engine.ErrorText();
  EXPECT_EQ(terminations.load(), 1);
  EXPECT_FALSE(end.Finished);
  EXPECT_FALSE(end.Exception);
  const auto probe = test::Ffprobe(out);
  ASSERT_FALSE(probe.empty());
  EXPECT_GT(Number(probe, "format.duration"), 0.2);
  EXPECT_LT(Number(probe, "format.duration"), 59.0);
  EXPECT_FALSE(engine.Start(true));  // a terminated task does not start again
}

TEST_F(Transcode, StopBeforeStartReportsTheEndFromAnotherThread) {
  TCustomFFmpeg engine;
  ASSERT_TRUE(Open(engine, AudioVideoSource(), {}, Output("never_started.mp4"), {}));
  std::atomic<int> calls{0};
  std::thread::id caller;
  TTerminateInfo end;
  end.Finished = true;
  engine.SetTerminateCallback([&](TCustomFFmpeg&, const TTerminateInfo& info) {
    end = info;
    caller = std::this_thread::get_id();
    ++calls;
  });
  engine.Stop(true);
  EXPECT_EQ(calls.load(), 1);
  EXPECT_NE(caller, std::this_thread::get_id());
  EXPECT_FALSE(end.Finished);
  EXPECT_FALSE(end.Exception);
  EXPECT_TRUE(engine.Terminated());
  engine.Stop(true);  // a terminated task: nothing more
  EXPECT_EQ(calls.load(), 1);
  EXPECT_FALSE(engine.Start(false));
}

TEST_F(Transcode, HookPaintsAreKeptAndHookFailuresLeaveTheFrame) {
  enum class THook { kPaint, kPaintAndStop, kPaintAndRaise };
  const struct {
    const char* name;
    THook hook;
    bool red;  // the first frame shows the square
    int calls;
  } cases[] = {{"paint", THook::kPaint, true, 50},
               {"stop", THook::kPaintAndStop, true, 1},
               {"raise", THook::kPaintAndRaise, false, 50}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TCustomFFmpeg engine;
    int calls = 0;
    engine.SetHookCallback([&](TCustomFFmpeg&, THookInfo& info) {
      ++calls;
      EXPECT_EQ(info.FrameNumber, calls);
      for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
          uint8_t* p = info.Bitmap.data + y * info.Bitmap.stride + x * 3;
          p[0] = 0, p[1] = 0, p[2] = 255;
        }
      if (c.hook == THook::kPaintAndStop) info.StopHook = true;
      if (c.hook == THook::kPaintAndRaise) throw std::runtime_error("host failure");
    });
    const std::string out = Output(std::string("hook_") + c.name + ".avi");
    ASSERT_TRUE(Open(engine, AudioVideoSource(), {}, out, {{"vcodec", "mpeg4"}, {"qscale", "2"}}));
    RunToEnd(engine);
    EXPECT_EQ(calls, c.calls);
    const TRgb pixel = PixelAt(FirstFrameRgb(out), 320, 20, 20);
    EXPECT_EQ(pixel.r > 200 && pixel.g < 60 && pixel.b < 60, c.red)
        << pixel.r << "," << pixel.g << "," << pixel.b;
  }
}

TEST_F(Transcode, HookOnOddWidthGetsThePictureAtItsSize) {
  const std::string source = test::MakeFixture(
      "engine_odd.mkv", "-f lavfi -i testsrc=size=161x121:rate=25:duration=1 -c:v ffv1");
  TCustomFFmpeg engine;
  std::vector<TFramePicture> seen;
  engine.SetHookCallback([&](TCustomFFmpeg&, THookInfo& info) { seen.push_back(info.Bitmap); });
  ASSERT_TRUE(Open(engine, source, {}, Output("odd.mkv"), {{"vcodec", "ffv1"}}));
  RunToEnd(engine);
  ASSERT_EQ(seen.size(), 25u);
  EXPECT_EQ(seen[0].width, 161);
  EXPECT_EQ(seen[0].height, 121);
  EXPECT_EQ(seen[0].stride, 484);  // 161 * 3 rounded up to 4 bytes
}

TEST_F(Transcode, PreviewPicturesComeAtMostTenASecondAtOutputSize) {
  const std::string source = test::MakeFixture(
      "engine_long.avi", "-f lavfi -i testsrc=size=320x240:rate=25:duration=60 -c:v mpeg4");
  TCustomFFmpeg engine;
  std::vector<std::chrono::steady_clock::time_point> times;
  std::vector<TPreviewInfo> previews;
  engine.SetPreviewCallback([&](TCustomFFmpeg&, const TPreviewInfo& info) {
    times.push_back(std::chrono::steady_clock::now());
    previews.push_back(info);
  });
  engine.SetPreviewFlags(kPreviewBitmap);
  ASSERT_TRUE(Open(engine, source, {}, Output("preview.mp4"),
                   {{"vcodec", "libx264"}, {"preset", "slow"}, {"s", "176x144"}, {"t", "12"}}));
  const auto started = std::chrono::steady_clock::now();
  RunToEnd(engine);
  const auto finished = std::chrono::steady_clock::now();
  ASSERT_GE(previews.size(), 2u);
  // Pictures are picked at least 100 ms apart; the callback time also holds the picture's
  // conversion, which varies by a few milliseconds.
  for (size_t i = 1; i < times.size(); ++i)
    EXPECT_GE(times[i] - times[i - 1], std::chrono::milliseconds(80));
  const double seconds = std::chrono::duration<double>(finished - started).count();
  EXPECT_LE(previews.size(), static_cast<size_t>(seconds * 10) + 1);
  EXPECT_EQ(previews[0].Bitmap.width, 176);
  EXPECT_EQ(previews[0].Bitmap.height, 144);
  EXPECT_GT(previews.back().PTS, previews.front().PTS);
}

// The window preview has no window here: it neither calls the bitmap callback nor stops
// stream copy, which the bitmap preview does.
TEST_F(Transcode, WindowPreviewIsIgnoredAndBitmapPreviewRefusesCopy) {
  const struct {
    int flags;
    bool runs;
  } cases[] = {{kPreviewWindow, true}, {kPreviewBitmap, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flags);
    TCustomFFmpeg engine;
    int previews = 0;
    engine.SetPreviewCallback([&](TCustomFFmpeg&, const TPreviewInfo&) { ++previews; });
    engine.SetPreviewFlags(c.flags);
    ASSERT_TRUE(Open(engine, AudioVideoSource(), {}, Output("preview_copy.avi"),
                     {{"vcodec", "copy"}, {"acodec", "copy"}}));
    ASSERT_TRUE(engine.Start(false));
    EXPECT_EQ(engine.Finished(), c.runs) << engine.ErrorText();
    EXPECT_EQ(previews, 0);
    if (!c.runs) {
      EXPECT_EQ(engine.ErrorText(),
                "-vcodec copy and PostHooks are incompatible (frames are not decoded)");
    }
  }
}

TEST_F(Transcode, TwoPassEncodingAndPassTwoWithoutItsLog) {
  const std::string log = test::TempDir() + "/twopass";
  std::remove((log + "-0.log").c_str());
  for (int pass : {1, 2}) {
    SCOPED_TRACE(pass);
    TCustomFFmpeg engine;
    const std::string out = Output("pass" + std::to_string(pass) + ".avi");
    ASSERT_TRUE(Open(engine, AudioVideoSource(), {}, out,
                     {{"vcodec", "mpeg4"},
                      {"b", "200000"},
                      {"an", "1"},
                      {"pass", std::to_string(pass)},
                      {"passlogfile", log}}));
    RunToEnd(engine);
    EXPECT_EQ(test::Ffprobe(out).at("streams.stream.0.codec_name"), "mpeg4");
    if (pass == 1) {
      std::ifstream stats(log + "-0.log");
      std::string first;
      EXPECT_TRUE(std::getline(stats, first) && !first.empty());
    }
  }
  std::remove((log + "-0.log").c_str());
  TCustomFFmpeg engine;
  ASSERT_TRUE(Open(engine, AudioVideoSource(), {}, Output("pass2_nolog.avi"),
                   {{"vcodec", "mpeg4"}, {"an", "1"}, {"pass", "2"}, {"passlogfile", log}}));
  ASSERT_TRUE(engine.Start(false));
  EXPECT_TRUE(engine.ErrorOccurred());
  EXPECT_FALSE(engine.Finished());
  EXPECT_EQ(engine.ErrorText(),
            "Cannot read file: Error reading log file \"" + log + "-0.log\" for pass-2 encoding");
}

TEST_F(Transcode, AudioIsResampledAndLateAudioGetsSilence) {
  const std::string late = test::MakeFixture(
      "engine_late_audio.mkv",
      "-f lavfi -i color=c=blue:size=160x120:rate=25:duration=3 "
      "-f lavfi -i sine=frequency=1000:sample_rate=48000:duration=2.5 "
      "-filter_complex [1:a]adelay=500:all=1[a] -map 0:v -map [a] -c:v ffv1 -c:a flac");
  const std::string mono = test::MakeFixture(
      "engine_mono48k.wav", "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=2 -ac 1");
  struct TCase {
    const char* name;
    std::string source;
    TOptions options;
    int rate, channels;
  };
  const std::vector<TCase> cases = {
      {"48k_mono_to_44k_stereo", mono, {{"ar", "44100"}, {"ac", "2"}}, 44100, 2},
      {"unsupported_rate_falls_back", mono, {{"acodec", "mp2"}, {"ar", "12345"}}, 16000, 1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TCustomFFmpeg engine;
    const std::string out = Output(std::string(c.name) + ".mkv");
    ASSERT_TRUE(Open(engine, c.source, {}, out, c.options));
    RunToEnd(engine);
    const auto probe = test::Ffprobe(out);
    EXPECT_EQ(Number(probe, "streams.stream.0.sample_rate"), c.rate);
    EXPECT_EQ(Number(probe, "streams.stream.0.channels"), c.channels);
    EXPECT_NEAR(Number(probe, "format.duration"), 2.0, 0.1);
  }
  // The tone starts 0.5 s late; with "async" 1 the output's audio starts at 0 with silence.
  TCustomFFmpeg engine;
  const std::string out = Output("late_audio.wav");
  ASSERT_TRUE(Open(engine, late, {}, out, {{"async", "1"}}));
  RunToEnd(engine);
  std::string pcm;
  test::RunCommand("ffmpeg -v error -i " + test::ShellQuote(out) + " -f s16le -ac 1 -", &pcm);
  const size_t samples = pcm.size() / 2;
  ASSERT_NEAR(static_cast<double>(samples) / 48000, 3.0, 0.1);
  auto loudness = [&pcm](double from, double to) {
    int peak = 0;
    for (size_t i = static_cast<size_t>(from * 48000); i < static_cast<size_t>(to * 48000); ++i)
      peak = std::max(peak,
                      std::abs(static_cast<int16_t>(static_cast<uint8_t>(pcm[2 * i]) |
                                                    (static_cast<uint8_t>(pcm[2 * i + 1]) << 8))));
    return peak;
  };
  EXPECT_LT(loudness(0.0, 0.45), 100);
  EXPECT_GT(loudness(0.55, 1.0), 2000);  // the tone peaks at 1/8 of full scale
}

TEST_F(Transcode, SubtitlesAreEncodedOrCopied) {
  const std::string srt = test::TempDir() + "/engine_subs.srt";
  std::ofstream(srt) << "1\n00:00:00,200 --> 00:00:01,000\nHello\n\n"
                        "2\n00:00:01,200 --> 00:00:01,800\nWorld\n\n";
  const std::string source = test::MakeFixture(
      "engine_subtitled.mkv", "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -i " +
                                  test::ShellQuote(srt) + " -c:v ffv1 -c:s srt");
  const struct {
    const char* name;
    TOptions options;
    const char* codec;
  } cases[] = {{"encoded", {{"scodec", "ass"}}, "ass"}, {"copied", {{"scodec", "copy"}}, "subrip"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TCustomFFmpeg engine;
    const std::string out = Output(std::string("subs_") + c.name + ".mkv");
    TOptions options = c.options;
    options.push_back({"vcodec", "ffv1"});
    ASSERT_TRUE(Open(engine, source, {}, out, options)) << engine.LastErrMsg();
    RunToEnd(engine);
    const auto probe = test::Ffprobe(out);
    EXPECT_EQ(Text(probe, StreamKey(probe, "subtitle") + "codec_name"), c.codec);
    std::string text;
    test::RunCommand("ffmpeg -v error -i " + test::ShellQuote(out) + " -map 0:s -f srt -", &text);
    EXPECT_NE(text.find("00:00:01,200 --> 00:00:01,800"), std::string::npos) << text;
    EXPECT_NE(text.find("World"), std::string::npos) << text;
  }
}

// The centre pixel of the video frame shown at `seconds`, decoded by the ffmpeg command line.
TRgb PixelAtTime(const std::string& path, double seconds, int width, int height) {
  std::string out;
  test::RunCommand("ffmpeg -v error -i " + test::ShellQuote(path) + " -ss " +
                       std::to_string(seconds) + " -frames:v 1 -f rawvideo -pix_fmt rgb24 -",
                   &out);
  return PixelAt(out, width, width / 2, height / 2);
}

// Inputs of different sizes, rates and layouts play one after the other in one file.
TEST_F(Transcode, JoinedInputsFollowEachOtherInOneOutput) {
  const std::string blue =
      test::MakeFixture("join_blue.avi",
                        "-f lavfi -i color=c=blue:size=320x240:rate=25:duration=2 "
                        "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=2 "
                        "-ac 2 -c:v mpeg4 -q:v 3 -c:a pcm_s16le");
  const std::string red =
      test::MakeFixture("join_red.mp4",
                        "-f lavfi -i color=c=red:size=160x120:rate=30:duration=1 "
                        "-f lavfi -i sine=frequency=880:sample_rate=48000:duration=1 "
                        "-c:v libx264 -preset ultrafast -c:a aac");
  const struct {
    const char* name;
    TOptions options;
  } cases[] = {
      {"joined.mp4", {{"vcodec", "mpeg4"}, {"acodec", "aac"}}},
      {"joined.mkv", {{"vcodec", "libx264"}, {"preset", "ultrafast"}, {"async", "1"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = Output(c.name);
    std::remove(out.c_str());
    TCustomFFmpeg engine;
    engine.Reset();
    engine.SetVerbose(-1);
    ASSERT_TRUE(engine.OpenInputFile(blue));
    ASSERT_TRUE(engine.OpenInputFile(red));
    for (const auto& [name, value] : c.options) engine.SetOption(name, value);
    ASSERT_EQ(engine.OpenOutputFile(out, true), 1) << engine.LastErrMsg();
    EXPECT_NEAR(engine.TotalDuration() / 1e6, 3.0, 0.1);
    RunToEnd(engine);
    const auto probe = test::Ffprobe(out);
    EXPECT_NEAR(Number(probe, "format.duration"), 3.0, 0.15);
    const std::string video = StreamKey(probe, "video");
    const std::string audio = StreamKey(probe, "audio");
    ASSERT_NE(video, "");
    ASSERT_NE(audio, "");
    EXPECT_EQ(Number(probe, video + "width"), 320);
    EXPECT_EQ(Number(probe, video + "height"), 240);
    EXPECT_EQ(Number(probe, audio + "sample_rate"), 44100);
    // Two seconds of blue, then the red input scaled to the first input's size.
    const TRgb first = PixelAtTime(out, 1.0, 320, 240);
    const TRgb second = PixelAtTime(out, 2.5, 320, 240);
    EXPECT_GT(first.b, 200);
    EXPECT_LT(first.r, 60);
    EXPECT_GT(second.r, 200);
    EXPECT_LT(second.b, 60);
    // The first tone, then the second one, with no gap at the seam.
    std::string pcm;
    test::RunCommand("ffmpeg -v error -i " + test::ShellQuote(out) + " -map 0:a -f s16le -ac 1 -",
                     &pcm);
    const size_t samples = pcm.size() / 2;
    EXPECT_NEAR(static_cast<double>(samples) / 44100, 3.0, 0.15);
    auto crossings = [&pcm](double from, double to) {
      int count = 0;
      for (size_t i = static_cast<size_t>(from * 44100) + 1; i < static_cast<size_t>(to * 44100);
           ++i) {
        const int16_t a = static_cast<int16_t>(static_cast<uint8_t>(pcm[2 * i - 2]) |
                                               (static_cast<uint8_t>(pcm[2 * i - 1]) << 8));
        const int16_t b = static_cast<int16_t>(static_cast<uint8_t>(pcm[2 * i]) |
                                               (static_cast<uint8_t>(pcm[2 * i + 1]) << 8));
        count += (a < 0) != (b < 0);
      }
      return count / (to - from) / 2;  // frequency in Hz
    };
    EXPECT_NEAR(crossings(0.5, 1.5), 440, 20);
    EXPECT_NEAR(crossings(2.2, 2.8), 880, 40);
  }
  // Copied streams continue too: twice the same input gives twice its pictures.
  const std::string out = Output("joined_copy.avi");
  std::remove(out.c_str());
  TCustomFFmpeg engine;
  engine.Reset();
  engine.SetVerbose(-1);
  ASSERT_TRUE(engine.OpenInputFile(blue));
  ASSERT_TRUE(engine.OpenInputFile(blue));
  engine.SetOption("vcodec", "copy");
  engine.SetOption("acodec", "copy");
  ASSERT_EQ(engine.OpenOutputFile(out, true), 1) << engine.LastErrMsg();
  RunToEnd(engine);
  const auto probe = test::Ffprobe(out);
  EXPECT_NEAR(Number(probe, "format.duration"), 4.0, 0.1);
  EXPECT_EQ(test::FrameChecksums(out).size(), 100u);
}

TEST_F(Transcode, BadInputsAndOutputsEndWithTheirTexts) {
  const std::string empty = Output("empty.avi");
  { std::ofstream touch(empty); }
  const std::string truncated = Output("truncated.mp4");
  {
    std::ifstream whole(test::MakeFixture("engine_whole.mp4",
                                          "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 "
                                          "-c:v mpeg4"),
                        std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(whole)), {});
    std::ofstream(truncated, std::ios::binary) << data.substr(0, data.size() / 3);
  }
  const std::string missing = Output("no_such_file.avi");
  const struct {
    std::string input;
    std::string error_part;
  } inputs[] = {{missing, missing + ": No such file or directory"},
                {empty, empty + ": "},
                {truncated, truncated + ": "}};
  for (const auto& c : inputs) {
    SCOPED_TRACE(c.input);
    TCustomFFmpeg engine;
    engine.Reset();
    engine.SetVerbose(-1);
    EXPECT_FALSE(engine.OpenInputFile(c.input));
    EXPECT_EQ(engine.LastErrMsg().rfind(c.error_part, 0), 0u) << engine.LastErrMsg();
  }
  const struct {
    std::string output;
    TOptions options;
    std::string error;
  } outputs[] = {
      {"/proc/no_folder/out.mp4", {}, "/proc/no_folder/out.mp4: No such file or directory"},
      {Output("x.unknownext"),
       {},
       "Unable to find a suitable output format for '" + Output("x.unknownext") + "'"},
      {Output("y.mp4"),
       {{"f", "nosuchformat"}},
       "Requested output format 'nosuchformat' is not a suitable output format"},
  };
  for (const auto& c : outputs) {
    SCOPED_TRACE(c.output);
    TCustomFFmpeg engine;
    engine.Reset();
    engine.SetVerbose(-1);
    ASSERT_TRUE(engine.OpenInputFile(AudioVideoSource()));
    for (const auto& [name, value] : c.options) engine.SetOption(name, value);
    EXPECT_EQ(engine.OpenOutputFile(c.output, false), -1);
    EXPECT_EQ(engine.LastErrMsg(), c.error);
  }
  {
    // A joined output takes every input, so no second output can follow it (nor precede).
    TCustomFFmpeg engine;
    engine.Reset();
    engine.SetVerbose(-1);
    ASSERT_TRUE(engine.OpenInputFile(AudioVideoSource()));
    ASSERT_TRUE(engine.OpenInputFile(AudioVideoSource()));
    EXPECT_EQ(engine.OpenOutputFile(Output("joined.mp4"), true), 1);
    EXPECT_EQ(engine.OpenOutputFile(Output("joined2.mp4"), false), -1);
    EXPECT_EQ(engine.LastErrMsg(), "Cannot join more than one output file.");
    TCustomFFmpeg before;
    before.Reset();
    before.SetVerbose(-1);
    ASSERT_TRUE(before.OpenInputFile(AudioVideoSource()));
    ASSERT_TRUE(before.OpenInputFile(AudioVideoSource()));
    EXPECT_EQ(before.OpenOutputFile(Output("plain.mp4"), false), 1);
    EXPECT_EQ(before.OpenOutputFile(Output("joined3.mp4"), true), -1);
    EXPECT_EQ(before.LastErrMsg(), "Cannot join more than one output file.");
  }
  {
    // An output opened but never written leaves no file behind.
    TCustomFFmpeg engine;
    const std::string out = Output("never_written.mp4");
    ASSERT_TRUE(Open(engine, AudioVideoSource(), {}, out, {}));
    std::ifstream exists(out);
    EXPECT_TRUE(exists.good());
    engine.Reset();
    EXPECT_FALSE(std::ifstream(out).good());
  }
  // A task without output fails at start with its text and reports its end.
  TCustomFFmpeg engine;
  engine.Reset();
  ASSERT_TRUE(engine.OpenInputFile(AudioVideoSource()));
  TTerminateInfo end;
  engine.SetTerminateCallback([&](TCustomFFmpeg&, const TTerminateInfo& info) { end = info; });
  ASSERT_TRUE(engine.Start(false));
  EXPECT_TRUE(end.Exception);
  EXPECT_EQ(end.ExceptionMsg, "At least one output file must be specified");
}

// Real files, damaged ones among them: each either fails to open with a text, or runs to an
// end within a minute; a run reported as finished leaves a file ffprobe reads.
TEST_F(Transcode, CorpusFilesConvertOrFailCleanly) {
  if (test::CorpusFile("README.md").empty()) GTEST_SKIP() << "corpus absent";
  const struct {
    const char* file;
    bool opens;
  } cases[] = {
      {"mp3_empty_0bytes_mutagen.mp3", false},
      {"mkv_corrupt_filetype.mkv", false},
      {"mp4_truncated_mutagen.mp4", true},
      {"mp3_vbri_truncated_mutagen.mp3", true},
      {"avi_mjpeg_headeronly_exiftool.avi", true},
      {"dv_pal_headeronly_exiftool.dv", true},
      {"mkv_h264_mp3_ass_badlacing_libwebm.mkv", true},
      {"webm_vp9_invalid_bitstream_exo.webm", true},
      {"mkv_h264_ac3_srt_exo.mkv", true},
      {"ts_h264_3xeac3_2xdvbsub_tsduck.ts", true},
      {"vob_mpeg2_ac3_gomediainfo.vob", true},
      {"wav_s16_6ch_nomask_audiofile.wav", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string input = test::CorpusFile(c.file);
    const std::string out = Output(std::string("corpus_") + c.file + ".mkv");
    TCustomFFmpeg engine;
    engine.Reset();
    engine.SetVerbose(-1);
    if (!c.opens) {
      EXPECT_FALSE(engine.OpenInputFile(input));
      EXPECT_EQ(engine.LastErrMsg().rfind(input + ": ", 0), 0u) << engine.LastErrMsg();
      continue;
    }
    ASSERT_TRUE(engine.OpenInputFile(input)) << engine.LastErrMsg();
    for (const auto& [name, value] :
         TOptions{{"vcodec", "mpeg4"}, {"acodec", "mp2"}, {"ac", "2"}, {"sn", "1"}})
      engine.SetOption(name, value);
    std::remove(out.c_str());
    if (engine.OpenOutputFile(out, false) != 1) {
      EXPECT_FALSE(engine.LastErrMsg().empty());
      continue;
    }
    ASSERT_TRUE(engine.Start(true));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!engine.Terminated() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(engine.Terminated()) << "still running after a minute";
    engine.Stop(true);
    if (engine.Finished()) {
      EXPECT_FALSE(engine.ErrorOccurred());
      EXPECT_FALSE(test::Ffprobe(out).empty());
    } else {
      EXPECT_TRUE(engine.ErrorOccurred());
      EXPECT_FALSE(engine.ErrorText().empty());
    }
  }
}

TEST_F(Transcode, TwoTasksInTwoThreadsConvertAtOnce) {
  TCustomFFmpeg first, second;
  ASSERT_TRUE(Open(first, AudioVideoSource(), {}, Output("par1.mp4"), {{"vcodec", "mpeg4"}}));
  ASSERT_TRUE(Open(second, AudioVideoSource(), {}, Output("par2.mkv"), {{"vcodec", "libx264"}}));
  ASSERT_TRUE(first.Start(true));
  ASSERT_TRUE(second.Start(true));
  first.Stop(false);  // a request only: the first ends early, the second runs on
  first.Stop(true);
  while (!second.Terminated()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(second.Finished()) << second.ErrorText();
  EXPECT_FALSE(first.ErrorOccurred()) << first.ErrorText();
  EXPECT_NEAR(Number(test::Ffprobe(Output("par2.mkv")), "format.duration"), 2.0, 0.15);
}

}  // namespace
}  // namespace kestrel
