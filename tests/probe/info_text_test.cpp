// The probe's text description of a file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <vector>

#include "medialib/av.h"
#include "probe/av_probe.h"
#include "probe/info_text_format.h"
#include "tests/probe/probe_fixtures.h"
#include "tests/support/fixtures.h"

namespace kestrel {
namespace {

class ProbeInfoText : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(test::LoadProbeLibraries(&error)) << error;
  }

  // The lines of a file's text; every line must end with CR LF.
  std::vector<std::string> Lines(const std::string& path, const std::string& forced = "") {
    TAVProbe probe;
    EXPECT_TRUE(probe.LoadFile(path, forced)) << probe.LastErrMsg();
    std::string text;
    EXPECT_TRUE(probe.GetFileInfoText(text));
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
      lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "text after the last CR LF";
    return lines;
  }
};

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The line that starts with the prefix, or "".
std::string LineStarting(const std::vector<std::string>& lines, const std::string& prefix) {
  for (const std::string& line : lines)
    if (line.rfind(prefix, 0) == 0) return line;
  return "";
}

TEST(ProbeTextFormats, RatesSecondsAndLocalTime) {
  const std::pair<double, const char*> rates[] = {
      {25.0, ", 25 fps"},    {30000.0 / 1001, ", 29.97 fps"}, {90000.0, ", 90k tbn"},
      {1000.0, ", 1k tbn"},  {12800.0, ", 12800 tbn"},        {23.976, ", 23.98 fps"},
      {999.999, ", 1k fps"},
  };
  for (const auto& [value, text] : rates) {
    const char* unit = Contains(text, "tbn") ? "tbn" : "fps";
    EXPECT_EQ(FormatRateValue(value, unit), text) << value;
  }
  EXPECT_EQ(FormatSecondsMicro(1500000), "1.500000");
  EXPECT_EQ(FormatSecondsMicro(0), "0.000000");
  EXPECT_EQ(FormatSecondsMicro(-7000), "-0.007000");
  EXPECT_EQ(FormatSecondsMicro(38604102000), "38604.102000");

  // Standard bias only: five hours west even in July.
  setenv("TZ", "EST5EDT", 1);
  EXPECT_EQ(FormatLocalStandardTime(1593659045), "2020-07-01 22:04:05");
}

TEST_F(ProbeInfoText, ContainerLinesComeFirstInOrder) {
  const std::string path = test::ProbeFixture("h264_aac.mp4");
  const auto lines = Lines(path);
  ASSERT_GE(lines.size(), 8u);
  EXPECT_EQ(lines[0], "File Name: " + path);
  EXPECT_EQ(lines[1], "Format Name: mov,mp4,m4a,3gp,3g2,mj2");
  EXPECT_EQ(lines[2], "Format Long Name: QuickTime / MOV");
  EXPECT_EQ(lines[3].rfind("File Size: ", 0), 0u);
  EXPECT_TRUE(Contains(lines[3], " KB"));
  EXPECT_EQ(lines[4], "Duration: 00:00:02.000");
  EXPECT_EQ(lines[5], "StartTime: 0.000000");
  EXPECT_EQ(lines[6].rfind("Bit Rate: ", 0), 0u);
  EXPECT_TRUE(Contains(lines[6], " kb/s"));
  EXPECT_EQ(lines[7], "Metadata:");
  EXPECT_EQ(LineStarting(lines, "  title"), "  title           : Probe");
  EXPECT_EQ(LineStarting(lines, "  compatible_brands"), "  compatible_brands: isomiso2avc1mp41");

  const std::string video = LineStarting(lines, "Stream #0");
  EXPECT_EQ(video.rfind("Stream #0[0x1](und), 1/12800: Video: h264", 0), 0u) << video;
  EXPECT_TRUE(Contains(video, "160x120")) << video;
  EXPECT_TRUE(Contains(video,
                       ", 25 fps, 25 tbr, 12800 tbn, StartTime: 0.000000, "
                       "Duration: 00:00:02.000"))
      << video;
  const std::string audio = LineStarting(lines, "Stream #1");
  EXPECT_EQ(audio.rfind("Stream #1[0x2](und), 1/44100: Audio: aac", 0), 0u) << audio;
  EXPECT_FALSE(Contains(audio, "tbn")) << "rates are for video streams only";
}

TEST_F(ProbeInfoText, ProgramsListTheirStreamsOnce) {
  const auto lines = Lines(test::ProbeFixture("program.ts"));
  const std::vector<std::string> tail(lines.begin() + 7, lines.end());
  ASSERT_GE(tail.size(), 6u);
  EXPECT_EQ(tail[0], "Program 1 Prov@Chan");
  EXPECT_EQ(tail[1], "  Metadata:");
  EXPECT_EQ(tail[2], "    service_name    : Chan");
  EXPECT_EQ(tail[3], "    service_provider: Prov");
  EXPECT_EQ(tail[4].rfind("Stream #0[0x100], 1/90000: Video: mpeg2video", 0), 0u) << tail[4];
  EXPECT_TRUE(Contains(tail[4], ", 25 fps, 25 tbr, 90k tbn, StartTime: 1.")) << tail[4];
  EXPECT_EQ(tail[5].rfind("Stream #1[0x101](eng), 1/90000: Audio: mp2", 0), 0u) << tail[5];
  // Its only tag is the language, already on the stream line: no metadata block.
  EXPECT_EQ(tail.size(), 6u);
}

TEST_F(ProbeInfoText, MatroskaTagsAndSubtitles) {
  const auto lines = Lines(test::ProbeFixture("lang_sub.mkv"));
  EXPECT_EQ(LineStarting(lines, "  title "), "  title           : RawTitle") << "TIT2 is a title";
  EXPECT_EQ(LineStarting(lines, "  TIT2"), "");
  EXPECT_EQ(LineStarting(lines, "Stream #1").rfind("Stream #1(ger), 1/1000: Audio: vorbis", 0), 0u)
      << LineStarting(lines, "Stream #1");
  EXPECT_EQ(LineStarting(lines, "Stream #2").rfind("Stream #2, 1/1000: Subtitle: subrip", 0), 0u)
      << LineStarting(lines, "Stream #2");
  for (const std::string& line : lines) EXPECT_FALSE(Contains(line, "language")) << line;
}

TEST_F(ProbeInfoText, NtscRateAndCreationTime) {
  setenv("TZ", "UTC0", 1);
  const auto lines = Lines(test::ProbeFixture("ntsc.mp4"));
  EXPECT_EQ(LineStarting(lines, "Time Stamp: "), "Time Stamp: 2020-07-02 03:04:05");
  EXPECT_TRUE(Contains(LineStarting(lines, "Stream #0"), ", 29.97 fps, 29.97 tbr, 30k tbn"))
      << LineStarting(lines, "Stream #0");
  TAVProbe probe;
  ASSERT_TRUE(probe.LoadFile(test::ProbeFixture("ntsc.mp4")));
  TFileStreamInfo info;
  ASSERT_TRUE(probe.GetFileStreamInfo(info));
  EXPECT_EQ(info.TimeStamp, 1593659045);
}

TEST_F(ProbeInfoText, SmallFileSizes) {
  const std::pair<size_t, const char*> sizes[] = {
      {1500, "File Size: 1.46 KB"}, {1024, "File Size: 1024 Byte"}, {1025, "File Size: 1.00 KB"}};
  for (const auto& [size, line] : sizes) {
    const std::string path =
        test::WriteTestFile("size" + std::to_string(size) + ".raw", std::string(size, '\x80'));
    EXPECT_EQ(LineStarting(Lines(path, "u8"), "File Size: "), line);
  }
}

TEST_F(ProbeInfoText, HandMadeStreamShowsAspectAndSignedStart) {
  AVFormatContext* context = av::avformat_alloc_context();
  context->duration = AV_NOPTS_VALUE;
  context->start_time = AV_NOPTS_VALUE;
  AVStream* stream = av::avformat_new_stream(context, nullptr);
  stream->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
  stream->codecpar->codec_id = AV_CODEC_ID_MPEG4;
  stream->codecpar->width = 720;
  stream->codecpar->height = 576;
  stream->codecpar->sample_aspect_ratio = {1, 1};
  stream->sample_aspect_ratio = {4, 3};
  stream->time_base = {1, 1000};
  stream->start_time = -7;
  stream->duration = AV_NOPTS_VALUE;
  {
    TAVProbe probe;
    probe.AttachFormatContext(context);
    std::string text;
    ASSERT_TRUE(probe.GetFileInfoText(text));
    EXPECT_TRUE(Contains(text, "Duration: N/A\r\nBit Rate: N/A\r\nStream #0, 1/1000: Video: mpeg4"))
        << text;
    EXPECT_TRUE(
        Contains(text, ", PAR 4:3 DAR 5:3, 1k tbn, StartTime: -0.007000, Duration: N/A\r\n"))
        << text;
  }
  av::avformat_free_context(context);
}

}  // namespace
}  // namespace kestrel
