// Playing real files to their end through the memory surface and SDL's dummy audio.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "player/custom_player.h"
#include "player_recorder.h"
#include "tests/support/fixtures.h"

namespace kestrel {
namespace {

using namespace std::chrono_literals;
using test::PlayerRecorder;

class PlaybackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(test::LoadPlayerLibraries(&error)) << error;
  }
  MemorySurface surface_{320, 240};
  TMediaPlayer player_;
};

TEST_F(PlaybackTest, PlaysToTheEndWithGrowingPositionsEndingAtTheDuration) {
  const std::string file = test::AudioVideoFixture();
  PlayerRecorder recorder(player_);
  ASSERT_TRUE(player_.Open(file, &surface_)) << player_.LastErrMsg();
  ASSERT_TRUE(recorder.WaitForState(psEnd, 15s));
  test::SleepMs(500);
  const auto positions = recorder.Positions();
  ASSERT_GT(positions.size(), 20u);
  EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
  const double probed = std::stod(test::Ffprobe(file)["format.duration"]);
  EXPECT_NEAR(recorder.Duration(), probed * 1e6, 1000);
  EXPECT_EQ(positions.back(), recorder.Duration());
  EXPECT_LE(player_.CurrentPosition(), recorder.Duration());
  EXPECT_EQ(recorder.States().front(), psPlay);
  EXPECT_EQ(recorder.FrameWidth(), 160);
  // Pictures went to the surface in presentation order.
  const auto shown = surface_.PresentedPTS();
  EXPECT_GT(shown.size(), 40u);
  EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
  player_.Stop(true);
  EXPECT_EQ(recorder.States().back(), psStop);
  EXPECT_FALSE(player_.IsOpen());
}

TEST_F(PlaybackTest, VideoOnlyFileReachesTheEnd) {
  PlayerRecorder recorder(player_);
  ASSERT_TRUE(player_.Open(test::VideoOnlyFixture(), &surface_)) << player_.LastErrMsg();
  ASSERT_TRUE(recorder.WaitForState(psEnd, 10s));
  test::SleepMs(200);
  EXPECT_EQ(recorder.Positions().back(), recorder.Duration());
  const SurfaceFrame last = surface_.Last();
  ASSERT_TRUE(last.Picture);
  EXPECT_FALSE(last.Waveform);
  EXPECT_EQ(last.Picture->Width, 160);
  // A 4:3 picture in a 4:3 area fills it.
  EXPECT_EQ(last.Target, (TRect{0, 0, 320, 240}));
}

TEST_F(PlaybackTest, AudioOnlyStereoFileDrawsTwoBandsWithASeparator) {
  PlayerRecorder recorder(player_);
  ASSERT_TRUE(player_.Open(test::AudioOnlyFixture(), &surface_)) << player_.LastErrMsg();
  test::SleepMs(800);
  const SurfaceFrame last = surface_.Last();
  ASSERT_TRUE(last.Picture);
  ASSERT_TRUE(last.Waveform);
  const TBitmap& area = *last.Picture;
  ASSERT_EQ(area.Width, 320);
  ASSERT_EQ(area.Height, 240);
  auto white_in_rows = [&](int from, int to) {
    int count = 0;
    for (int y = from; y < to; ++y)
      for (int x = 0; x < area.Width; ++x) count += area.ScanLine(y)[3 * x] == 255;
    return count;
  };
  EXPECT_EQ(white_in_rows(120, 121), 320) << "separator line";
  EXPECT_GT(white_in_rows(0, 120), 320) << "upper band";
  EXPECT_GT(white_in_rows(121, 240), 320) << "lower band";
  EXPECT_TRUE(player_.CurrentFrame().Empty());
  int64_t pts = 0;
  player_.CurrentFrameWithPTS(pts);
  EXPECT_EQ(pts, -1);
  ASSERT_TRUE(recorder.WaitForState(psEnd, 10s));
}

TEST_F(PlaybackTest, AudioAndPictureStayInSync) {
  PlayerRecorder recorder(player_);
  ASSERT_TRUE(player_.Open(test::LongAudioVideoFixture(), &surface_)) << player_.LastErrMsg();
  ASSERT_TRUE(recorder.WaitForState(psEnd, 40s));
  const TPlaybackStats stats = player_.Stats();
  EXPECT_GT(stats.PicturesShown, 400);
  ASSERT_GT(stats.PicturesMeasured, 300);
  // Loose, as other work may starve the player's threads now and then: nearly every
  // picture within the tolerance, none far off. kestrel-player --stats gives the figures.
  EXPECT_LE(stats.PicturesOutOfSync, stats.PicturesMeasured / 20) << stats.MaxAVDifference;
  EXPECT_LT(stats.MaxAVDifference, 0.5);
}

TEST_F(PlaybackTest, BitmapSubtitleIsBlendedIntoThePicturesOfItsTime) {
  const std::string file = test::BitmapSubtitleFixture();
  ASSERT_EQ(test::Ffprobe(file)["streams.stream.1.codec_name"], "dvd_subtitle");
  surface_.KeepFrames(true);
  PlayerRecorder recorder(player_);
  ASSERT_TRUE(player_.Open(file, &surface_)) << player_.LastErrMsg();
  ASSERT_TRUE(recorder.WaitForState(psEnd, 10s));
  const TRect box{44, 84, 72, 12};  // inside the subtitle's 80x20 box at (40, 80)
  const TRect above{0, 0, 160, 70};
  int with = 0, without = 0;
  for (const SurfaceFrame& frame : surface_.Frames()) {
    ASSERT_TRUE(frame.Picture);
    ASSERT_EQ(frame.Picture->Width, 160);
    EXPECT_LT(test::MeanByte(*frame.Picture, above), 40) << frame.PTS;
    if (frame.PTS >= 1040000 && frame.PTS <= 1920000) {
      EXPECT_GT(test::MeanByte(*frame.Picture, box), 200) << frame.PTS;
      ++with;
    } else if (frame.PTS <= 960000 || frame.PTS >= 2040000) {
      EXPECT_LT(test::MeanByte(*frame.Picture, box), 40) << frame.PTS;
      ++without;
    }
  }
  EXPECT_GT(with, 10);
  EXPECT_GT(without, 20);
}

}  // namespace
}  // namespace kestrel
