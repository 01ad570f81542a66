#include "medialib/text_utils.h"

#include <gtest/gtest.h>

#include "medialib/av.h"
#include "medialib/library_loader.h"

namespace kestrel {
namespace {

TEST(TextUtils, ErrorCodesMapToTheirTexts) {
  const struct {
    int code;
    const char* text;
  } cases[] = {
      {AVERROR(ENOENT), "No such file or directory"},
      {AVERROR(EIO), "I/O error"},
      {AVERROR(ENOMEM), "Not enough memory"},
      {AVERROR_INVALIDDATA, "Invalid data found when processing input"},
      {AVERROR(EINVAL), "Invalid data found when processing input"},
      {AVERROR_EOF, "End of file"},
      {AVERROR(EDOM), "Number syntax expected in filename"},
      {AVERROR_DEMUXER_NOT_FOUND, "Unknown format"},
      {AVERROR_MUXER_NOT_FOUND, "Unknown format"},
      {AVERROR_PROTOCOL_NOT_FOUND, "Unsupported network protocol"},
      {AVERROR_PATCHWELCOME, "Not yet implemented in FFmpeg"},
      {-99, "Error number -99 occurred"},
      {AVERROR_DECODER_NOT_FOUND, "Error number -1128613112 occurred"},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorText(c.code), c.text) << c.code;
  EXPECT_EQ(FormatErrorText("a.avi", AVERROR(ENOENT)), "a.avi: No such file or directory");
  EXPECT_EQ(FormatErrorText("a.avi", -99), "a.avi: Error number -99 occurred");
}

TEST(TextUtils, TimeTexts) {
  const std::int64_t hms = ((1 * 60 + 2) * 60 + 3) * 1000000LL + 4000;
  const struct {
    std::int64_t us;
    const char* duration;
    const char* decimal;
  } cases[] = {
      {hms, "01:02:03.004", "3723.004"},
      {0, "00:00:00.000", "0.000"},
      {999, "00:00:00.000", "0.000"},                           // below a millisecond is dropped
      {100 * 3600 * 1000000LL, "100:00:00.000", "360000.000"},  // hours not wrapped
      {-1500000, "-00:00:01.500", "-1.500"},  // sign in front, not inside each field
      {kNoTimestamp, "N/A", "N/A"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatDuration(c.us), c.duration) << c.us;
    EXPECT_EQ(FormatTime(c.us), c.duration) << c.us;
    EXPECT_EQ(FormatDecimalSeconds(c.us), c.decimal) << c.us;
  }
  EXPECT_EQ(FormatDuration(AV_NOPTS_VALUE), "N/A");
}

TEST(TextUtils, ClockTexts) {
  const struct {
    std::int64_t seconds;
    const char* text;
  } cases[] = {{0, "0:00:00"},
               {59, "0:00:59"},
               {3723, "1:02:03"},
               {36000 + 61, "10:01:01"},
               {-5, "0:00:00"}};
  for (const auto& c : cases) EXPECT_EQ(FormatClock(c.seconds), c.text) << c.seconds;
}

TEST(TextUtils, FileSizeTexts) {
  const struct {
    std::int64_t bytes;
    const char* text;
  } cases[] = {
      {0, "0 Byte"},
      {1024, "1024 Byte"},  // units start above their size
      {1025, "1.00 KB"},
      {1536, "1.50 KB"},
      {1048576, "1024.00 KB"},
      {1048577 + 1048576, "2.00 MB"},
      {1073741824, "1024.00 MB"},
      {5LL * 1073741824 + 536870912, "5.50 GB"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatFileSize(c.bytes), c.text) << c.bytes;
}

TEST(TextUtils, MediaTypeNames) {
  EXPECT_EQ(MediaTypeName(AVMEDIA_TYPE_VIDEO), "Video");
  EXPECT_EQ(MediaTypeName(AVMEDIA_TYPE_AUDIO), "Audio");
  EXPECT_EQ(MediaTypeName(AVMEDIA_TYPE_DATA), "Data");
  EXPECT_EQ(MediaTypeName(AVMEDIA_TYPE_SUBTITLE), "Subtitle");
  EXPECT_EQ(MediaTypeName(AVMEDIA_TYPE_ATTACHMENT), "Attachment");
  EXPECT_EQ(MediaTypeName(AVMEDIA_TYPE_UNKNOWN), "Unknown");
  EXPECT_EQ(MediaTypeName(5), "Unknown");
}

class TextUtilsWithLibraries : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(LoadLibs(kProbeLibs)) << LastError(); }
};

TEST_F(TextUtilsWithLibraries, CodecDescriptions) {
  const struct {
    int id;
    std::uint32_t tag;
    bool encoder;
    const char* text;
  } cases[] = {
      {AV_CODEC_ID_MPEG4, 0, false, "mpeg4(MPEG-4 part 2)"},
      {AV_CODEC_ID_PCM_S16LE, 0, true, "pcm_s16le(PCM signed 16-bit little-endian)"},
      // Known ids without a codec in this build, then unknown ids by their tag.
      {AV_CODEC_ID_MPEG2TS, 0, false, "mpeg2ts"},
      {AV_CODEC_ID_TTF, 0, true, "ttf"},
      {AV_CODEC_ID_NONE, MKTAG('a', 'b', 'c', 'd'), false, "abcd / 0x64636261"},
      {AV_CODEC_ID_NONE, 0x1234, false, "0x1234"},
      {AV_CODEC_ID_NONE, 0, false, "0x0000"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatCodecDescription(c.id, c.tag, c.encoder), c.text) << c.id;
  }

  AVCodecParameters* parameters = av::avcodec_parameters_alloc();
  ASSERT_NE(parameters, nullptr);
  parameters->codec_id = AV_CODEC_ID_MPEG4;
  EXPECT_EQ(FormatCodecDescription(parameters, false), "mpeg4(MPEG-4 part 2)");
  av::avcodec_parameters_free(&parameters);
}

TEST_F(TextUtilsWithLibraries, MetadataValues) {
  AVDictionary* metadata = nullptr;
  ASSERT_GE(av::av_dict_set(&metadata, "language", "eng", 0), 0);
  ASSERT_GE(av::av_dict_set(&metadata, "title", "First", 0), 0);
  ASSERT_GE(av::av_dict_set(&metadata, "title", "Second", AV_DICT_MULTIKEY), 0);
  EXPECT_EQ(GetMetadataValue(metadata, "language", "und"), "eng");
  EXPECT_EQ(GetMetadataValue(metadata, "LANGUAGE", "und"), "eng");
  EXPECT_EQ(GetMetadataValue(metadata, "title"), "First");
  EXPECT_EQ(GetMetadataValue(metadata, "lang", "und"), "und");  // whole keys only
  EXPECT_EQ(GetMetadataValue(nullptr, "language", "und"), "und");
  av::av_dict_free(&metadata);
}

}  // namespace
}  // namespace kestrel
