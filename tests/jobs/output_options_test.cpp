#include "jobs/output_options.h"

#include <gtest/gtest.h>

#include <ostream>

#include <array>
#include <map>
#include <optional>

#include "tests/jobs/jobs_test_files.h"

namespace kestrel::jobs {
namespace {

using test::KeyValues;

// A "para" value that is not written at all.
constexpr const char* kAbsent = "\x01";
constexpr int kCode = 7;

struct BuildCase {
  const char* name;
  KeyValues paras{};  // over the base values below
  std::string format = "mp4";
  std::string zoom = "lbox";
  std::array<int, 4> job_crop{};  // top, left, bottom, right
  TSourceVideo source{1, 1280, 720, 800000};
  bool answer = false;  // to the frame size question

  bool asked = false;
  std::optional<std::string> frame_size{}, aspect{}, filters{};
  std::optional<std::array<int, 4>> out_crop{};  // top, left, bottom, right
  std::optional<std::string> video_codec{}, video_preset{}, file_format{};
  std::optional<int> video_bitrate{};
  std::optional<std::string> audio_codec{};
  std::optional<int> audio_volume{}, audio_bitrate{};
  std::optional<bool> disable_video{};
  std::optional<std::string> in_ext{}, out_ext{};
  std::optional<int> target_type{}, norm_type{};
};

// Test listings name the case rather than dump its bytes.
void PrintTo(const BuildCase& c, std::ostream* os) {
  *os << c.name;
}

const KeyValues kBase = {{"paraVideoEncoder", "mpeg4"},
                         {"paraAudioEncoder", "libmp3lame"},
                         {"paraVideoSize", "320x240"}};

const BuildCase kCases[] = {
    // Letterbox: pads rounded down to even numbers, crop then scale then pad.
    {.name = "LetterboxWide",
     .frame_size = "320x180",
     .aspect = "320:180",
     .filters = "pad=320:240:0:30",
     .out_crop = std::array{0, 0, 0, 0}},
    {.name = "LetterboxWideCropped",
     .job_crop = {0, 10, 0, 0},
     .frame_size = "",
     .aspect = "320:180",
     .filters = "crop=10:0:1270:720,scale=320:180,pad=320:240:0:30"},
    {.name = "LetterboxEqualRatios",
     .source = {1, 640, 480, 0},
     .frame_size = "320x240",
     .aspect = "320:240",
     .filters = "pad=320:240:0:0"},
    {.name = "LetterboxTall",
     .source = {1, 480, 640, 0},
     .frame_size = "180x240",
     .filters = "pad=320:240:70:0"},
    // Pan and scan: the 4/3 constant a hair above 4/3 makes 119.99... truncate to 119.
    {.name = "PanWide",
     .zoom = "pan",
     .source = {1, 720, 480, 0},
     .frame_size = "320x240",
     .aspect = "320:240",
     .filters = "",
     .out_crop = std::array{0, 58, 0, 58}},
    {.name = "PanWideWithJobCrop",
     .zoom = "pan",
     .job_crop = {0, 7, 0, 0},
     .source = {1, 720, 480, 0},
     .out_crop = std::array{0, 66, 0, 66}},
    {.name = "PanEqual",
     .zoom = "pan",
     .source = {1, 640, 480, 0},
     .frame_size = "320x240",
     .out_crop = std::array{0, 0, 0, 0}},
    {.name = "FullAsSource",
     .paras = {{"paraVideoSize", "as source"}},
     .zoom = "full",
     .source = {1, 640, 360, 0},
     .frame_size = "640x360",
     .aspect = "640:360",
     .filters = ""},
    {.name = "FullCropped",
     .zoom = "full",
     .job_crop = {4, 0, 6, 0},
     .frame_size = "320x240",
     .out_crop = std::array{4, 0, 6, 0}},
    {.name = "CenterWide",
     .zoom = "center",
     .frame_size = "320x240",
     .aspect = "320:240",
     .filters = "pad=320:240:0:30:black"},
    {.name = "CenterTall",
     .zoom = "center",
     .source = {1, 480, 640, 0},
     .frame_size = "180x240",
     .filters = "pad=620:640:70:0:black"},
    {.name = "UnknownZoomSetsNoSize", .zoom = "stretch", .frame_size = "", .filters = ""},
    // Sizes that cannot be read ask; Yes gives 320x240, No the source's size.
    {.name = "XAtEndAsksYes",
     .paras = {{"paraVideoSize", "320x"}},
     .zoom = "full",
     .answer = true,
     .asked = true,
     .frame_size = "320x240"},
    {.name = "XFirstAsksNo",
     .paras = {{"paraVideoSize", "x240"}},
     .zoom = "full",
     .source = {1, 640, 360, 0},
     .asked = true,
     .frame_size = "640x360"},
    {.name = "ZeroWidthAsks",
     .paras = {{"paraVideoSize", "0x240"}},
     .zoom = "full",
     .source = {1, 640, 360, 0},
     .asked = true,
     .frame_size = "640x360"},
    {.name = "NonIntegerPartTakesSource",
     .paras = {{"paraVideoSize", "abcx240"}},
     .zoom = "full",
     .source = {1, 640, 360, 0},
     .frame_size = "640x240"},
    // h263 takes only its own sizes.
    {.name = "H263WidthMovedUp",
     .paras = {{"paraVideoEncoder", "h263"}, {"paraVideoSize", "400x300"}},
     .zoom = "full",
     .frame_size = "704x576",
     .video_codec = "h263"},
    {.name = "H263ListedSizeKept",
     .paras = {{"paraVideoEncoder", "h263"}, {"paraVideoSize", "352x288"}},
     .zoom = "full",
     .frame_size = "352x288"},
    {.name = "H263MiddleWidth",
     .paras = {{"paraVideoEncoder", "h263"}, {"paraVideoSize", "300x200"}},
     .zoom = "full",
     .frame_size = "352x288"},
    // The encoder refuses 160x120 and every other size of its own, "as source" included.
    {.name = "H263SmallWidthMovedUp",
     .paras = {{"paraVideoEncoder", "h263"}, {"paraVideoSize", "160x120"}},
     .zoom = "full",
     .frame_size = "176x144"},
    {.name = "H263SmallestSizeKept",
     .paras = {{"paraVideoEncoder", "h263"}, {"paraVideoSize", "128x96"}},
     .zoom = "full",
     .frame_size = "128x96"},
    {.name = "H263AsSourceMovedUp",
     .paras = {{"paraVideoEncoder", "h263"}, {"paraVideoSize", "as source"}},
     .zoom = "full",
     .frame_size = "704x576"},
    // Profiles without video.
    {.name = "NoVideoEncoder",
     .paras = {{"paraVideoEncoder", kAbsent}},
     .frame_size = "",
     .audio_codec = "libmp3lame",
     .disable_video = true,
     .in_ext = "vn=1"},
    {.name = "NoEncoderAtAll",
     .paras = {{"paraVideoEncoder", " "}, {"paraAudioEncoder", kAbsent}},
     .audio_codec = "libfaac",
     .audio_volume = 3,
     .audio_bitrate = 128000,
     .disable_video = true,
     .in_ext = "vn=1"},
    {.name = "SourceWithoutVideo",
     .source = {0, -1, -1, -1},
     .frame_size = "",
     .video_bitrate = -1,
     .disable_video = true,
     .in_ext = ""},
    // Encoders, presets, containers and disc targets.
    {.name = "ContainerNameIsNoEncoder",
     .paras = {{"paraVideoEncoder", "flv"}},
     .video_codec = "",
     .disable_video = false},
    {.name = "X264ForPsp",
     .paras = {{"paraVideoEncoder", "libx264"}},
     .format = "PSP",
     .video_codec = "libx264",
     .video_preset = "libx264-psp",
     .file_format = "PSP"},
    {.name = "X264Default",
     .paras = {{"paraVideoEncoder", "libx264"}},
     .video_preset = "libx264-mp4",
     .file_format = ""},
    {.name = "WideNtscDvd",
     .paras = {{"paraVideoEncoder", "mpeg2video"}, {"paraVideoSize", "720x480"}},
     .format = "ntsc-dvd",
     .zoom = "none",
     .aspect = "16:9",
     .target_type = 3,
     .norm_type = 2},
    {.name = "Mpeg2SetsDvdTarget",
     .paras = {{"paraVideoEncoder", "mpeg2video"}},
     .format = "pal-vcd",
     .zoom = "none",
     .aspect = "4:3",
     .target_type = 3,
     .norm_type = 1},
    // MPEG-2 makes a DVD unless the profile is an SVCD or writes a container of its own
    // that is not a program stream.
    {.name = "Mpeg2KeepsSvcdTarget",
     .paras = {{"paraVideoEncoder", "mpeg2video"}, {"paraVideoSize", "480x480"}},
     .format = "ntsc-svcd",
     .zoom = "full",
     .target_type = 2,
     .norm_type = 2},
    {.name = "Mpeg2InTransportStream",
     .paras = {{"paraVideoEncoder", "mpeg2video"}},
     .format = "mpegts",
     .zoom = "full",
     .file_format = "mpegts",
     .target_type = 0},
    {.name = "Mpeg2InVobIsDvd",
     .paras = {{"paraVideoEncoder", "mpeg2video"}},
     .format = "vob",
     .zoom = "full",
     .file_format = "vob",
     .target_type = 3,
     .norm_type = 0},
    {.name = "Mpeg2ByExtensionIsDvd",
     .paras = {{"paraVideoEncoder", "mpeg2video"}},
     .format = "mpg",
     .zoom = "full",
     .file_format = "",
     .target_type = 3},
    // DV pictures of the NTSC height are 4:1:1.
    {.name = "NtscDvIs411",
     .paras = {{"paraVideoEncoder", "dvvideo"}, {"paraVideoSize", "720x480"}},
     .format = "dv",
     .zoom = "full",
     .frame_size = "720x480",
     .out_ext = "pix_fmt=yuv411p"},
    {.name = "PalDvKeepsItsLayout",
     .paras = {{"paraVideoEncoder", "dvvideo"}, {"paraVideoSize", "720x576"}},
     .format = "dv",
     .zoom = "full",
     .frame_size = "720x576",
     .out_ext = ""},
    // Bit rates.
    {.name = "VideoBitRateKilobits",
     .paras = {{"paraVideoBitRate", "768"}},
     .video_bitrate = 768000},
    {.name = "VideoBitRateAsSource",
     .paras = {{"paraVideoBitRate", "as source"}},
     .video_bitrate = 800000},
    {.name = "AudioBitRate96", .paras = {{"paraAudioBitRate", "96"}}, .audio_bitrate = 96000},
    {.name = "AudioBitRateDecimal",
     .paras = {{"paraAudioBitRate", "96.5"}},
     .audio_bitrate = 96500},
    {.name = "AudioBitRateAsSource",
     .paras = {{"paraAudioBitRate", "as source"}},
     .audio_bitrate = -1},
    // Volume: "256" is unchanged, the builder's own default is the text "3".
    {.name = "Volume256", .paras = {{"paraVolume", "256"}}, .audio_volume = -1},
    {.name = "Volume512", .paras = {{"paraVolume", "512"}}, .audio_volume = 512},
    {.name = "VolumeDefault", .audio_volume = 3},
    {.name = "AmrNbOldName",
     .paras = {{"paraAudioEncoder", "libamr_nb"}},
     .audio_codec = "libopencore_amrnb"},
};

class BuildOutputOptionsTest : public testing::TestWithParam<BuildCase> {};

TEST_P(BuildOutputOptionsTest, FillsTheRecords) {
  const BuildCase& c = GetParam();
  const std::string folder = test::FreshTestFolder();
  std::map<std::string, std::string> paras(kBase.begin(), kBase.end());
  for (const auto& [key, value] : c.paras) paras[key] = value;
  KeyValues written;
  for (const auto& [key, value] : paras) {
    if (value != kAbsent) written.emplace_back(key, value);
  }
  const std::string section = "formatInfo" + std::to_string(kCode);
  const settings::IniFile settings = test::WriteIni(folder, "settings.ini", section, written);
  const settings::IniFile catalogue =
      test::WriteIni(folder, "catalogue.ini", section, {{"Format", c.format}});

  TlvFilesRecord job;
  job.Zoom = c.zoom;
  job.CropTop = c.job_crop[0];
  job.CropLeft = c.job_crop[1];
  job.CropBottom = c.job_crop[2];
  job.CropRight = c.job_crop[3];
  bool asked = false;
  const TBuildInputs inputs{
      job, kCode, settings, catalogue, c.source, [&](const std::string& question) {
        EXPECT_EQ(question, kFrameSizeQuestion);
        asked = true;
        return c.answer;
      }};
  TOutputOptions out;
  TInputOptions in;
  BuildOutputOptions(inputs, out, in);

  EXPECT_EQ(asked, c.asked);
  if (c.frame_size) {
    EXPECT_EQ(out.FrameSize, *c.frame_size);
  }
  if (c.aspect) {
    EXPECT_EQ(out.FrameAspectRatio, *c.aspect);
  }
  if (c.filters) {
    EXPECT_EQ(out.VideoFilters, *c.filters);
  }
  if (c.out_crop) {
    EXPECT_EQ((std::array{out.CropTop, out.CropLeft, out.CropBottom, out.CropRight}), *c.out_crop);
  }
  if (c.video_codec) {
    EXPECT_EQ(out.VideoCodec, *c.video_codec);
  }
  if (c.video_preset) {
    EXPECT_EQ(out.VideoPreset, *c.video_preset);
  }
  if (c.file_format) {
    EXPECT_EQ(out.FileFormat, *c.file_format);
  }
  if (c.video_bitrate) {
    EXPECT_EQ(out.VideoBitrate, *c.video_bitrate);
  }
  if (c.audio_codec) {
    EXPECT_EQ(out.AudioCodec, *c.audio_codec);
  }
  if (c.audio_volume) {
    EXPECT_EQ(out.AudioVolume, *c.audio_volume);
  }
  if (c.audio_bitrate) {
    EXPECT_EQ(out.AudioBitrate, *c.audio_bitrate);
  }
  if (c.disable_video) {
    EXPECT_EQ(out.DisableVideo, *c.disable_video);
  }
  if (c.in_ext) {
    EXPECT_EQ(in.ExtOptions, *c.in_ext);
  }
  if (c.out_ext) {
    EXPECT_EQ(out.ExtOptions, *c.out_ext);
  }
  if (c.target_type) {
    EXPECT_EQ(out.TargetType, *c.target_type);
  }
  if (c.norm_type) {
    EXPECT_EQ(out.NormType, *c.norm_type);
  }
}

INSTANTIATE_TEST_SUITE_P(Profiles, BuildOutputOptionsTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<BuildCase>& info) {
                           return std::string(info.param.name);
                         });

// Values that cannot be converted stop the job with the value in the message.
TEST(BuildOutputOptionsErrors, UnreadableValuesStopTheJob) {
  const std::string folder = test::FreshTestFolder();
  const std::string section = "formatInfo" + std::to_string(kCode);
  const KeyValues cases[] = {
      {{"paraVolume", "loud"}},          {{"paraVolume", ""}},
      {{"paraVolume", "1.5"}},           {{"paraVideoBitRate", "3000000"}},
      {{"paraAudioBitRate", "2147484"}}, {{"paraVideoEncoder", ""}, {"paraAudioBitRate", "1e9"}},
  };
  int n = 0;
  for (const KeyValues& values : cases) {
    const std::string name = "settings" + std::to_string(++n) + ".ini";
    KeyValues paras = {{"paraVideoEncoder", "mpeg4"}, {"paraVideoSize", "320x240"}};
    paras.insert(paras.end(), values.begin(), values.end());
    const settings::IniFile settings = test::WriteIni(folder, name, section, paras);
    const settings::IniFile catalogue = test::WriteIni(folder, "catalogue.ini", section, {});
    TlvFilesRecord job;
    TOutputOptions out;
    TInputOptions in;
    try {
      BuildOutputOptions({job, kCode, settings, catalogue, {1, 640, 480, 0}, {}}, out, in);
      ADD_FAILURE() << values.back().first << "=" << values.back().second << " was accepted";
    } catch (const TOptionBuildError& e) {
      EXPECT_NE(std::string(e.what()).find("'" + values.back().second + "'"), std::string::npos)
          << e.what();
    }
  }
}

}  // namespace
}  // namespace kestrel::jobs
