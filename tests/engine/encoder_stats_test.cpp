// The encoder statistics of a run: the per-frame statistics file, the quantiser histogram
// and PSNR parts of the progress text, and the packet dump of the debug log.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <mutex>
#include <regex>
#include <string>
#include <vector>

#include "engine/encoder_stats.h"
#include "engine/ffmpeg_core.h"
#include "medialib/library_loader.h"
#include "medialib/media_logger.h"
#include "tests/support/fixtures.h"

namespace kestrel {
namespace {

class EncoderStats : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(LoadLibs(kEngineLibs)) << LastError(); }
};

TEST_F(EncoderStats, TextsHaveTheirLayout) {
  // 40x40 pictures: Y error 1/100 of the peak (20 dB), U and V 1/1000 (30 dB).
  const uint64_t y = 1040400, uv = 26010;
  TVideoStatsLine line;
  line.frame = 7;
  line.stats.quality = 3.0f;
  line.stats.type = 'P';
  line.stats.has_error = true;
  line.stats.error = {y, uv, uv};
  line.psnr = true;
  line.width = line.height = 40;
  line.frame_size = 1000;
  line.video_bytes = 5000;
  line.time_s = 0.4;
  line.time_base_s = 1.0 / 25;
  TQpHistogram histogram;
  for (float q : {2.2f, 1.8f, 2.0f, 31.0f, -1.0f, 60.0f}) histogram.Add(q);
  std::vector<uint8_t> bytes(20);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>('A' + i);
  bytes[1] = 0;
  AVPacket packet{};
  packet.data = bytes.data();
  packet.size = static_cast<int>(bytes.size());
  packet.stream_index = 1;
  packet.flags = AV_PKT_FLAG_KEY;
  packet.pts = 50;
  packet.dts = AV_NOPTS_VALUE;
  packet.duration = 2;
  const struct {
    const char* name;
    std::string text, expected;
  } cases[] = {
      {"stats line", VideoStatsText(line),
       "frame=     7 q= 3.0 PSNR=  20.00 f_size=   1000 s_size=        5kB time= 0.400 br=   "
       "200.0kbits/s avg_br=   100.0kbits/s type= P\n"},
      {"stats line without psnr, time at least 0.01",
       [&] {
         TVideoStatsLine plain = line;
         plain.psnr = false;
         plain.time_s = 0;
         return VideoStatsText(plain);
       }(),
       "frame=     7 q= 3.0 f_size=   1000 s_size=        5kB time= 0.010 br=   200.0kbits/s "
       "avg_br=  4000.0kbits/s type= P\n"},
      {"psnr", PsnrText({y, uv, uv}, 40, 40, 1), "PSNR=Y:20.00 U:30.00 V:30.00 *:21.55 "},
      {"psnr over frames", PsnrText({4 * y, 4 * uv, 4 * uv}, 40, 40, 4),
       "PSNR=Y:20.00 U:30.00 V:30.00 *:21.55 "},
      // q 2 three times: log2(4) = 2; q 31 once: 1 (printed only up to 31); out of range
      // values are not counted.
      {"qp histogram", histogram.Text(), "00200000000000000000000000000001"},
      {"packet dump", PacketDumpText(packet, AVRational{1, 25}, false),
       "stream #1:\n  keyframe=1\n  duration=0.080\n  dts=N/A  pts=2.000\n  size=20\n"},
      {"packet dump with bytes", PacketDumpText(packet, AVRational{1, 25}, true),
       "stream #1:\n  keyframe=1\n  duration=0.080\n  dts=N/A  pts=2.000\n  size=20\n"
       "00000000  41 00 43 44 45 46 47 48 49 4a 4b 4c 4d 4e 4f 50  A.CDEFGHIJKLMNOP\n"
       "00000010  51 52 53 54                                      QRST\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.text, c.expected) << c.name;
}

// Captures the engine's log lines while alive.
class TLogLines {
 public:
  TLogLines() {
    MediaLogger().SetLogLevel(llDebug);
    MediaLogger().SetTriggerEventInMainThread(false);
    MediaLogger().SetOnLog([this](const TLogInfo& info) {
      std::lock_guard<std::mutex> lock(mutex_);
      lines_.push_back(info.message);
    });
  }
  ~TLogLines() {
    MediaLogger().SetOnLog(nullptr);
    MediaLogger().SetLogLevel(llInfo);
  }
  std::vector<std::string> Lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST_F(EncoderStats, ARunWritesStatisticsHistogramPsnrAndPacketDumps) {
  const std::string source = test::MakeFixture(
      "stats_source.avi", "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -c:v mpeg4 -q:v 3");
  const std::string out = test::TempDir() + "/stats.avi";
  const std::string stats = test::TempDir() + "/stats.log";
  std::remove(stats.c_str());
  TCustomFFmpeg engine;
  engine.Reset();
  engine.SetVerbose(0);
  for (const auto& [name, value] : {std::pair<const char*, const char*>{"dump", "1"}, {"hex", "1"}})
    engine.SetOption(name, value);
  ASSERT_TRUE(engine.OpenInputFile(source)) << engine.LastErrMsg();
  const std::pair<const char*, std::string> output_options[] = {
      {"vcodec", "mpeg4"}, {"psnr", "1"}, {"qphist", "1"}, {"vstats_file", stats}};
  for (const auto& [name, value] : output_options) engine.SetOption(name, value);
  std::remove(out.c_str());
  ASSERT_EQ(engine.OpenOutputFile(out, false), 1) << engine.LastErrMsg();
  std::vector<std::string> log;
  {
    TLogLines capture;
    ASSERT_TRUE(engine.Start(false));
    log = capture.Lines();
  }
  ASSERT_TRUE(engine.Finished()) << engine.ErrorText();

  // One statistics line per coded picture, numbered in order, the first one intra.
  const std::vector<std::string> lines = ReadLines(stats);
  ASSERT_EQ(lines.size(), 25u);
  const std::regex layout(
      R"(frame= +(\d+) q= +[\d.]+ PSNR= +([\d.]+) f_size= +\d+ s_size= +\d+kB )"
      R"(time= [\d.]+ br= +[\d.]+kbits/s avg_br= +[\d.]+kbits/s type= ([IPB]))");
  for (size_t i = 0; i < lines.size(); ++i) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[i], m, layout)) << lines[i];
    EXPECT_EQ(std::stoi(m[1]), static_cast<int>(i + 1));
    EXPECT_GT(std::stod(m[2]), 25.0) << lines[i];
    if (i == 0) {
      EXPECT_EQ(m[3], "I");
    }
  }

  // The final text: frame count, "L", 32 histogram digits, then the PSNR figures.
  const std::string text = engine.LastProgressText();
  const std::regex report(
      R"(frame=\s+25 fps=\s*\d+ q=[\d.]+ L[0-9A-F]{32}PSNR=Y:[\d.]+ U:[\d.]+ V:[\d.]+ \*:[\d.]+ size=.*)");
  EXPECT_TRUE(std::regex_match(text, report)) << text;

  // Each packet read is dumped with its bytes.
  int dumps = 0, hex_lines = 0;
  const std::regex hex(R"(0000[0-9a-f]{4}  [0-9a-f]{2} .*)");
  for (const std::string& line : log) {
    dumps += line == "stream #0:";
    hex_lines += std::regex_match(line, hex);
  }
  EXPECT_EQ(dumps, 25);
  EXPECT_GT(hex_lines, 25);

  // A statistics file that cannot be made ends the run with its text.
  TCustomFFmpeg failing;
  failing.Reset();
  failing.SetVerbose(-1);
  ASSERT_TRUE(failing.OpenInputFile(source));
  failing.SetOption("vstats_file", "/proc/no_folder/stats.log");
  ASSERT_EQ(failing.OpenOutputFile(test::TempDir() + "/stats_fail.avi", false), 1);
  ASSERT_TRUE(failing.Start(false));
  EXPECT_FALSE(failing.Finished());
  EXPECT_EQ(failing.ErrorText(), "fopen fail: /proc/no_folder/stats.log");
}

}  // namespace
}  // namespace kestrel
