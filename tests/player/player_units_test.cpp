// The player's building blocks on their own: event ring, packet queue, picture layout,
// subtitle colours and blending, waveform drawing.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "medialib/av.h"
#include "medialib/library_loader.h"
#include "player/custom_player.h"
#include "player/event_ring.h"
#include "player/packet_queue.h"
#include "player/playback_context.h"
#include "player/rgb_converter.h"
#include "player/subtitles.h"
#include "player_recorder.h"

namespace kestrel {
namespace {

// First in the suite: later tests load the libraries into the process.
TEST(PlayerWithoutLibraries, OpenFailsWithItsText) {
  if (LibsLoaded(kPlayerLibs)) GTEST_SKIP() << "the libraries are already loaded in this process";
  TMediaPlayer player;
  MemorySurface surface;
  EXPECT_FALSE(player.LibrariesLoaded());
  EXPECT_FALSE(player.Open("any.mp4", &surface));
  EXPECT_EQ(player.LastErrMsg(), "libav or libsdl not loaded.");
  EXPECT_TRUE(player.CurrentFrame().Empty());
}

TPlayerEvent Position(std::int64_t pts) {
  return {TPlayerEventKind::Position, psPlay, pts};
}
TPlayerEvent State(TPlayState state) {
  return {TPlayerEventKind::State, state, 0};
}

TEST(PlayerEventRing, KeepsOnlyTheNewestOfConsecutiveEventsOfOneKind) {
  PlayerEventRing ring;
  for (int i = 1; i <= 50; ++i) ring.Post(Position(i));
  ring.Post(State(psPause));
  ring.Post(Position(60));
  ring.Post(Position(70));
  ASSERT_EQ(ring.Pending(), 3);
  EXPECT_EQ(ring.Take().Position, 50);
  EXPECT_EQ(ring.Take().State, psPause);
  EXPECT_EQ(ring.Take().Position, 70);
  EXPECT_EQ(ring.Take().Kind, TPlayerEventKind::None);
}

TEST(PlayerEventRing, HoldsNineAlternatingEventsAndDropsTheOldest) {
  PlayerEventRing ring;
  for (int i = 0; i < 12; ++i) ring.Post(i % 2 ? State(psPlay) : Position(i));
  ASSERT_EQ(ring.Pending(), 9);
  // Events 0, 1 and 2 were dropped; 3 (a state) is the oldest left.
  const TPlayerEvent first = ring.Take();
  EXPECT_EQ(first.Kind, TPlayerEventKind::State);
  EXPECT_EQ(ring.Take().Position, 4);
}

class PlayerLibsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(test::LoadPlayerLibraries(&error)) << error;
  }
};

TEST_F(PlayerLibsTest, PacketQueueCountsBytesRecognisesFlushAndEndsOnAbort) {
  PacketQueue queue;
  AVPacket* packet = av::av_packet_alloc();
  ASSERT_EQ(av::av_new_packet(packet, 100), 0);
  ASSERT_EQ(queue.Put(packet), 0);
  ASSERT_EQ(queue.PutFlush(), 0);
  ASSERT_EQ(queue.PutEmpty(3), 0);
  EXPECT_EQ(queue.Count(), 3);
  EXPECT_EQ(queue.SizeBytes(), 3 * kPacketNodeBytes + 100);

  AVPacket* out = nullptr;
  ASSERT_EQ(queue.Get(&out, false), 1);
  EXPECT_EQ(out->size, 100);
  EXPECT_NE(out->data, nullptr);
  EXPECT_FALSE(IsFlushPacket(out));
  av::av_packet_free(&out);
  ASSERT_EQ(queue.Get(&out, false), 1);
  EXPECT_TRUE(IsFlushPacket(out));
  av::av_packet_free(&out);
  ASSERT_EQ(queue.Get(&out, false), 1);
  EXPECT_EQ(out->data, nullptr);
  EXPECT_EQ(out->stream_index, 3);
  av::av_packet_free(&out);
  EXPECT_EQ(queue.Get(&out, false), 0);

  // A blocked reader wakes up with -1 when the queue is aborted.
  int result = 0;
  std::thread reader([&] { result = queue.Get(&out, true); });
  test::SleepMs(20);
  queue.Abort();
  reader.join();
  EXPECT_EQ(result, -1);
  av::av_packet_free(&packet);
}

struct LayoutCase {
  const char* name;
  float aspect_ratio;
  int area_width, area_height;
  int picture_width, picture_height;
  AVRational sample_aspect;
  TRect expected;
};

class PictureLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(PictureLayout, FitsThePictureCentredAtItsAspect) {
  const LayoutCase& c = GetParam();
  const double aspect = DisplayAspect(c.aspect_ratio, c.area_width, c.area_height, c.picture_width,
                                      c.picture_height, c.sample_aspect);
  EXPECT_EQ(FitPicture(c.area_width, c.area_height, aspect), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Aspects, PictureLayout,
    ::testing::Values(
        // 4:3 picture in a 16:9 area: stretched, own ratio (pillar-boxed), forced 16:9.
        LayoutCase{"Stretched", -1, 640, 360, 320, 240, {1, 1}, {0, 0, 640, 360}},
        LayoutCase{"OwnRatio", 0, 640, 360, 320, 240, {1, 1}, {80, 0, 480, 360}},
        LayoutCase{"Forced", 1.7778f, 640, 360, 320, 240, {1, 1}, {0, 0, 640, 360}},
        // 16:9 forced into a 4:3 area: letter-boxed, heights even.
        LayoutCase{"ForcedLetterBox", 1.7778f, 320, 240, 320, 240, {1, 1}, {0, 30, 320, 180}},
        // Non-square pixels count; a missing sample aspect is square.
        LayoutCase{"SampleAspect", 0, 640, 480, 704, 480, {213, 176}, {0, 60, 640, 360}},
        LayoutCase{"NoSampleAspect", 0, 400, 300, 400, 300, {0, 1}, {0, 0, 400, 300}}),
    [](const ::testing::TestParamInfo<LayoutCase>& info) { return info.param.name; });

TEST(SubtitleColours, ConvertRgbaToStudioRangeYuva) {
  struct Row {
    std::uint32_t argb, yuva;
  };
  const Row rows[] = {
      {0xFF000000, 0xFF108080},  // black
      {0xFFFFFFFF, 0xFFEB8080},  // white
      {0x80FF0000, 0x80515AF0},  // half-transparent red
      {0x000000FF, 0x0029F06E},  // transparent blue keeps its colour
  };
  for (const Row& row : rows) {
    EXPECT_EQ(RgbaToYuva(row.argb), row.yuva) << std::hex << row.argb;
  }
}

TEST_F(PlayerLibsTest, SubtitleRectangleBlendsClippedIntoThePicture) {
  AVFrame* picture = av::av_frame_alloc();
  picture->format = AV_PIX_FMT_YUV420P;
  picture->width = 8;
  picture->height = 8;
  ASSERT_EQ(av::av_frame_get_buffer(picture, 0), 0);
  for (int p = 0; p < 3; ++p)
    for (int y = 0; y < (p ? 4 : 8); ++y)
      std::memset(picture->data[p] + y * picture->linesize[p], p ? 128 : 16, p ? 4 : 8);

  // An opaque white 3x3 rectangle at (5, 5), reaching past the picture's edge.
  std::uint32_t palette[2] = {0, RgbaToYuva(0xFFFFFFFF)};
  std::vector<std::uint8_t> indexes(9, 1);
  AVSubtitleRect rect{};
  rect.x = rect.y = 5;
  rect.w = rect.h = 3;
  rect.nb_colors = 2;
  rect.data[0] = indexes.data();
  rect.linesize[0] = 3;
  rect.data[1] = reinterpret_cast<std::uint8_t*>(palette);
  rect.type = SUBTITLE_BITMAP;
  BlendSubtitleRect(picture, rect);

  EXPECT_EQ(picture->data[0][5 * picture->linesize[0] + 5], 235);
  EXPECT_EQ(picture->data[0][7 * picture->linesize[0] + 7], 235);
  EXPECT_EQ(picture->data[0][4 * picture->linesize[0] + 4], 16);
  // Chroma of the odd-edge block (one pixel inside) gets a quarter of the alpha.
  EXPECT_EQ(picture->data[1][2 * picture->linesize[1] + 2], 128);
  av::av_frame_free(&picture);
}

TEST(Waveform, DrawsOneBandPerChannelWithWhiteSeparators) {
  TBitmap area;
  area.Resize(4, 120);
  // Three channels; per column: full positive, full negative, silence.
  std::vector<std::int16_t> samples;
  for (int x = 0; x < 4; ++x) samples.insert(samples.end(), {32767, -32768, 0});
  DrawWaveform(area, samples.data(), static_cast<int>(samples.size()), 3);
  auto white = [&](int y) { return area.ScanLine(y)[0] == 255; };
  // Band height 40: bars of |v * 18| >> 15 pixels, 17 up for the largest positive value,
  // 18 down for the largest negative one.
  EXPECT_TRUE(white(20 - 17));
  EXPECT_FALSE(white(20 - 18));
  EXPECT_FALSE(white(20));
  EXPECT_TRUE(white(40));  // separator
  EXPECT_TRUE(white(60));
  EXPECT_TRUE(white(60 + 17));
  EXPECT_FALSE(white(60 + 18));
  EXPECT_FALSE(white(60 - 1));
  EXPECT_TRUE(white(80));  // separator
  EXPECT_FALSE(white(100));
}

}  // namespace
}  // namespace kestrel

namespace kestrel {
namespace {

// A hook that paints nothing must get the picture back as it was: the round trip through
// 24-bit BGR is exact on smooth pictures.
TEST_F(PlayerLibsTest, HookRoundTripGivesUnpaintedPicturesBackUnchanged) {
  AVFrame* picture = av::av_frame_alloc();
  picture->format = AV_PIX_FMT_YUV420P;
  picture->width = 64;
  picture->height = 48;
  ASSERT_EQ(av::av_frame_get_buffer(picture, 0), 0);
  for (int p = 0; p < 3; ++p)
    for (int y = 0; y < (p ? 24 : 48); ++y)
      std::memset(picture->data[p] + y * picture->linesize[p], p ? 128 : 86, p ? 32 : 64);
  const std::vector<std::uint8_t> before(picture->data[0],
                                         picture->data[0] + 47 * picture->linesize[0] + 64);

  RGBConverter converter;
  ASSERT_TRUE(converter.ToBitmap(picture));
  ASSERT_TRUE(converter.FromBitmap(picture));
  const std::vector<std::uint8_t> after(picture->data[0],
                                        picture->data[0] + 47 * picture->linesize[0] + 64);
  EXPECT_EQ(after, before);
  EXPECT_EQ(picture->data[1][0], 128);
  EXPECT_EQ(picture->data[2][0], 128);
  av::av_frame_free(&picture);
}

}  // namespace
}  // namespace kestrel
