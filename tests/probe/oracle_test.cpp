// The probe's numbers against ffprobe's on fixtures and on the real-world corpus.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <string>

#include "medialib/av.h"
#include "probe/av_probe.h"
#include "tests/probe/probe_fixtures.h"
#include "tests/support/fixtures.h"

namespace kestrel {
namespace {

using Flat = std::map<std::string, std::string>;

std::string Value(const Flat& flat, const std::string& key) {
  auto it = flat.find(key);
  return it == flat.end() ? "N/A" : it->second;
}

// ffprobe prints seconds with six decimals: back to microseconds, -1 for N/A.
std::int64_t Microseconds(const std::string& seconds) {
  return seconds == "N/A" ? -1 : std::llround(std::stod(seconds) * 1e6);
}

std::int64_t Integer(const std::string& text, std::int64_t none) {
  return text == "N/A" ? none : std::stoll(text);
}

void ExpectCodecName(const std::string& ours, const Flat& flat, const std::string& stream) {
  const std::string name = Value(flat, stream + "codec_name");
  const std::string long_name = Value(flat, stream + "codec_long_name");
  EXPECT_TRUE(ours.rfind(name, 0) == 0 || ours.find("(" + long_name + ")") != std::string::npos)
      << ours << " vs " << name << " / " << long_name;
}

void ExpectStreamTimes(std::int64_t start, std::int64_t duration, const Flat& flat,
                       const std::string& stream) {
  EXPECT_EQ(start, Integer(Value(flat, stream + "start_pts"), -1));
  EXPECT_EQ(duration, Integer(Value(flat, stream + "duration_ts"), -1));
}

void ExpectVideoStream(TAVProbe& probe, int i, const Flat& flat, const std::string& stream) {
  TVideoStreamInfo info;
  ASSERT_TRUE(probe.GetVideoStreamInfo(i, info)) << probe.LastErrMsg();
  EXPECT_EQ(std::to_string(info.Width), Value(flat, stream + "width"));
  EXPECT_EQ(std::to_string(info.Height), Value(flat, stream + "height"));
  EXPECT_EQ(std::to_string(info.FrameRateNum) + "/" + std::to_string(info.FrameRateDen),
            Value(flat, stream + "r_frame_rate"));
  EXPECT_EQ(info.BitRate, Integer(Value(flat, stream + "bit_rate"), 0));
  const char* pix_fmt = av::av_get_pix_fmt_name(static_cast<AVPixelFormat>(info.PixelFormat));
  if (flat.count(stream + "pix_fmt")) {
    EXPECT_EQ(pix_fmt ? pix_fmt : "unknown", Value(flat, stream + "pix_fmt"));
  }
  ExpectCodecName(info.CodecName, flat, stream);
  ExpectStreamTimes(info.StartTime, info.Duration, flat, stream);
  EXPECT_EQ(info.Language,
            flat.count(stream + "tags.language") ? flat.at(stream + "tags.language") : "");
}

void ExpectAudioStream(TAVProbe& probe, int i, const Flat& flat, const std::string& stream) {
  TAudioStreamInfo info;
  ASSERT_TRUE(probe.GetAudioStreamInfo(i, info)) << probe.LastErrMsg();
  EXPECT_EQ(std::to_string(info.SampleRate), Value(flat, stream + "sample_rate"));
  EXPECT_EQ(std::to_string(info.Channels), Value(flat, stream + "channels"));
  EXPECT_EQ(info.BitRate, Integer(Value(flat, stream + "bit_rate"), 0));
  const char* sample_fmt =
      av::av_get_sample_fmt_name(static_cast<AVSampleFormat>(info.SampleFormat));
  EXPECT_EQ(sample_fmt ? sample_fmt : "unknown", Value(flat, stream + "sample_fmt"));
  ExpectCodecName(info.CodecName, flat, stream);
  ExpectStreamTimes(info.StartTime, info.Duration, flat, stream);
  EXPECT_EQ(info.Language,
            flat.count(stream + "tags.language") ? flat.at(stream + "tags.language") : "");
}

// Everything the probe reports about a file that ffprobe also reports.
void ExpectAgreesWithFfprobe(const std::string& path) {
  const Flat flat = test::Ffprobe(path);
  TAVProbe probe;
  const bool loaded = probe.LoadFile(path);
  ASSERT_EQ(loaded, !flat.empty()) << probe.LastErrMsg();
  if (!loaded) {
    EXPECT_FALSE(probe.LastErrMsg().empty());
    EXPECT_EQ(probe.StreamCount(), -1);
    return;
  }
  EXPECT_EQ(probe.FormatName(), Value(flat, "format.format_name"));
  EXPECT_EQ(std::to_string(probe.FileSize()), Value(flat, "format.size"));
  EXPECT_EQ(std::to_string(probe.StreamCount()), Value(flat, "format.nb_streams"));
  EXPECT_EQ(std::to_string(probe.ProgramCount()), Value(flat, "format.nb_programs"));

  TFileStreamInfo file;
  ASSERT_TRUE(probe.GetFileStreamInfo(file));
  EXPECT_EQ(file.Duration, Microseconds(Value(flat, "format.duration")));
  EXPECT_EQ(file.StartTime, Microseconds(Value(flat, "format.start_time")));
  EXPECT_EQ(file.BitRate, Integer(Value(flat, "format.bit_rate"), 0));

  int counts[3] = {0, 0, 0};  // video, audio, subtitle
  int firsts[3] = {-1, -1, -1};
  for (int i = 0; i < probe.StreamCount(); ++i) {
    const std::string stream = "streams.stream." + std::to_string(i) + ".";
    const std::string type = Value(flat, stream + "codec_type");
    SCOPED_TRACE(stream + type);
    const int kind = type == "video" ? 0 : type == "audio" ? 1 : type == "subtitle" ? 2 : -1;
    if (kind < 0) continue;
    ++counts[kind];
    if (firsts[kind] < 0) firsts[kind] = i;
    if (kind == 0) ExpectVideoStream(probe, i, flat, stream);
    if (kind == 1) ExpectAudioStream(probe, i, flat, stream);
  }
  EXPECT_EQ(probe.VideoStreamCount(), counts[0]);
  EXPECT_EQ(probe.AudioStreamCount(), counts[1]);
  EXPECT_EQ(probe.SubtitleStreamCount(), counts[2]);
  EXPECT_EQ(probe.FirstVideoStreamIndex(), firsts[0]);
  EXPECT_EQ(probe.FirstAudioStreamIndex(), firsts[1]);
  EXPECT_EQ(probe.FirstSubtitleStreamIndex(), firsts[2]);
  EXPECT_EQ(probe.DefaultStreamIndex(), firsts[0] >= 0 ? firsts[0] : firsts[1]);
}

class ProbeOracle : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(test::LoadProbeLibraries(&error)) << error;
  }
};

TEST_P(ProbeOracle, NumbersAgreeWithFfprobe) {
  const std::string path = test::ProbeFixture(GetParam());
  ASSERT_FALSE(path.empty());
  ExpectAgreesWithFfprobe(path);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ProbeOracle, ::testing::ValuesIn(test::ProbeFixtureNames()),
                         [](const auto& info) {
                           std::string name = info.param;
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

TEST(ProbeOracleFiles, SmallEmptyAndTruncatedFilesAgreeWithFfprobe) {
  std::string error;
  ASSERT_TRUE(test::LoadProbeLibraries(&error)) << error;
  const std::string mp4 = test::ReadFileBytes(test::ProbeFixture("h264_aac.mp4"));
  const std::string ts = test::ReadFileBytes(test::ProbeFixture("program.ts"));
  const std::string mp3 = test::ReadFileBytes(test::ProbeFixture("audio.mp3"));
  const std::pair<const char*, std::string> files[] = {
      {"first1500.mp3", mp3.substr(0, 1500)},  // a few frames
      {"empty.mp4", ""},
      {"truncated.mp4", mp4.substr(0, mp4.size() / 2)},  // index at the end is lost
      {"truncated.ts", ts.substr(0, ts.size() / 3)},
  };
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    ExpectAgreesWithFfprobe(test::WriteTestFile(name, bytes));
  }
}

TEST(ProbeOracleFiles, CorpusFilesAgreeWithFfprobe) {
  std::string error;
  ASSERT_TRUE(test::LoadProbeLibraries(&error)) << error;
  const std::string readme = test::CorpusFile("README.md");
  if (readme.empty()) GTEST_SKIP() << "the media corpus is absent";
  for (const auto& entry :
       std::filesystem::directory_iterator(std::filesystem::path(readme).parent_path())) {
    if (entry.path().extension() == ".md") continue;
    SCOPED_TRACE(entry.path().filename().string());
    ExpectAgreesWithFfprobe(entry.path().string());
  }
}

}  // namespace
}  // namespace kestrel
