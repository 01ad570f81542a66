// Controlling a playing file: pause, seeks, failed and repeated opens, the picture hook,
// snapshots.
#include <dirent.h>

#include <gtest/gtest.h>
#include <algorithm>

#include <fstream>
#include <stdexcept>

#include "player/custom_player.h"
#include "player_recorder.h"
#include "tests/support/fixtures.h"

namespace kestrel {
namespace {

using namespace std::chrono_literals;
using test::PlayerRecorder;

int ThreadCount() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/task")) {
    while (dirent* entry = readdir(dir)) count += entry->d_name[0] != '.';
    closedir(dir);
  }
  return count;
}

class PlayerControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(test::LoadPlayerLibraries(&error)) << error;
  }
  MemorySurface surface_{320, 240};
  TMediaPlayer player_;
};

TEST_F(PlayerControlTest, PauseHoldsThePositionAndThePicture) {
  PlayerRecorder recorder(player_);
  ASSERT_TRUE(player_.Open(test::AudioVideoFixture(), &surface_)) << player_.LastErrMsg();
  test::SleepMs(800);
  player_.Pause();
  EXPECT_EQ(player_.PlayState(), psPause);
  test::SleepMs(300);
  const std::int64_t position = player_.CurrentPosition();
  std::int64_t pts = 0;
  const TBitmap picture = player_.CurrentFrameWithPTS(pts);
  const std::int64_t presented = surface_.PresentedPTS().size();
  test::SleepMs(700);
  EXPECT_EQ(player_.CurrentPosition(), position);
  std::int64_t pts_later = 0;
  EXPECT_EQ(player_.CurrentFrameWithPTS(pts_later).Bits, picture.Bits);
  EXPECT_EQ(pts_later, pts);
  EXPECT_EQ(static_cast<std::int64_t>(surface_.PresentedPTS().size()), presented);
  EXPECT_GT(position, 500000);

  player_.Resume();
  test::SleepMs(600);
  EXPECT_GT(player_.CurrentPosition(), position + 150000);  // loose: the machine may be busy
  EXPECT_TRUE(recorder.WaitForState(psResume, 1s));
}

TEST_F(PlayerControlTest, SeekWhilePausedShowsThePictureAtTheNewPlace) {
  PlayerRecorder recorder(player_);
  ASSERT_TRUE(player_.Open(test::AudioVideoFixture(), &surface_)) << player_.LastErrMsg();
  test::SleepMs(400);
  player_.Pause();
  test::SleepMs(200);
  player_.Seek(2000000, 0, true);
  // The first picture after the seek is shown, and playback stays paused.
  std::int64_t pts = -1;
  for (int i = 0; i < 500 && pts != 2000000; ++i) {
    test::SleepMs(10);
    player_.CurrentFrameWithPTS(pts);
  }
  EXPECT_EQ(pts, 2000000);
  EXPECT_EQ(surface_.Last().PTS, 2000000);
  EXPECT_NEAR(player_.CurrentPosition(), 2000000, 1000);
  EXPECT_EQ(player_.PlayState(), psPause);
  test::SleepMs(300);
  EXPECT_EQ(surface_.Last().PTS, 2000000);
  // Pictures from before the seek were never shown after it.
  const auto shown = surface_.PresentedPTS();
  const auto first_after = std::find(shown.begin(), shown.end(), 2000000);
  ASSERT_NE(first_after, shown.end());
  EXPECT_EQ(std::count(first_after, shown.end(), 2000000),
            static_cast<long>(shown.end() - first_after));
}

TEST_F(PlayerControlTest, SeekPastTheEndIsClampedToTheDuration) {
  PlayerRecorder recorder(player_);
  ASSERT_TRUE(player_.Open(test::AudioVideoFixture(), &surface_)) << player_.LastErrMsg();
  test::SleepMs(300);
  player_.Seek(60000000, 0, true);
  ASSERT_TRUE(recorder.WaitForState(psEnd, 5s));
  test::SleepMs(300);
  const auto positions = recorder.Positions();
  EXPECT_EQ(positions.back(), recorder.Duration());
  EXPECT_LE(*std::max_element(positions.begin(), positions.end()), recorder.Duration());
  EXPECT_LE(player_.CurrentPosition(), recorder.Duration());
}

TEST_F(PlayerControlTest, UnreadableFilesFailOpenWithNameAndMessageAndLeaveNoThread) {
  const std::string junk = test::TempDir() + "/junk.mp4";
  std::ofstream(junk) << std::string(4096, 'x');
  const std::string missing = test::TempDir() + "/missing.mp4";
  const int threads = ThreadCount();
  struct Case {
    std::string file, message;
  } cases[] = {{junk, junk + ": Invalid data found when processing input"},
               {missing, missing + ": No such file or directory"}};
  for (const Case& c : cases) {
    EXPECT_FALSE(player_.Open(c.file, &surface_));
    EXPECT_EQ(player_.LastErrMsg(), c.message);
    EXPECT_FALSE(player_.IsOpen());
  }
  // SDL may keep its own helper threads; the player's are gone.
  EXPECT_LE(ThreadCount(), threads + 1);
}

TEST_F(PlayerControlTest, SecondOpenEndsTheFirstPlaybackCompletely) {
  PlayerRecorder first(player_);
  ASSERT_TRUE(player_.Open(test::AudioVideoFixture(), &surface_)) << player_.LastErrMsg();
  test::SleepMs(300);
  ASSERT_TRUE(player_.Open(test::VideoOnlyFixture(), &surface_)) << player_.LastErrMsg();
  // By the time the second Open returns, the first playback delivered psStop; the second
  // playback's own psPlay may already follow it.
  const auto states = first.States();
  const auto stop = std::find(states.begin(), states.end(), psStop);
  ASSERT_NE(stop, states.end());
  EXPECT_TRUE(std::all_of(stop + 1, states.end(), [](TPlayState s) { return s == psPlay; }));
  EXPECT_TRUE(first.WaitForState(psEnd, 10s));
  EXPECT_EQ(player_.FileName(), test::VideoOnlyFixture());
}

TEST_F(PlayerControlTest, HookPaintsThePictureUnlessItRaises) {
  for (const bool raises : {false, true}) {
    SCOPED_TRACE(raises ? "raising hook" : "painting hook");
    MemorySurface surface(320, 240);
    std::atomic<int> calls{0};
    player_.SetHook(true);
    player_.SetOnHook([&](TCustomPlayer&, TBitmap& bitmap, std::int64_t pts) {
      ++calls;
      EXPECT_EQ(bitmap.Width, 160);
      EXPECT_GE(pts, 0);
      std::fill(bitmap.Bits.begin(), bitmap.Bits.end(), 255);
      if (raises) throw std::runtime_error("broken handler");
    });
    ASSERT_TRUE(player_.Open(test::AudioVideoFixture(), &surface)) << player_.LastErrMsg();
    test::SleepMs(600);
    EXPECT_GT(calls.load(), 5);
    const SurfaceFrame last = surface.Last();
    ASSERT_TRUE(last.Picture);
    const double mean = test::MeanByte(*last.Picture);
    if (raises) {
      EXPECT_LT(mean, 200);  // the test pattern as decoded
    } else {
      EXPECT_GT(mean, 250);  // what the handler painted
    }
    player_.Stop(true);
  }
}

TEST_F(PlayerControlTest, CurrentFrameSizes) {
  EXPECT_TRUE(player_.CurrentFrame().Empty());  // nothing open
  ASSERT_TRUE(player_.Open(test::AudioVideoFixture(), &surface_)) << player_.LastErrMsg();
  test::SleepMs(300);
  const TBitmap& frame = player_.CurrentFrame();
  EXPECT_EQ(frame.Width, 160);
  EXPECT_EQ(frame.Height, 120);
  EXPECT_GT(test::MeanByte(frame), 20);
  player_.Stop(true);
  EXPECT_TRUE(player_.CurrentFrame().Empty());
}

TEST_F(PlayerControlTest, AspectRatioChangeRelaysTheDisplayAtOnce) {
  MemorySurface wide(640, 360);
  ASSERT_TRUE(player_.Open(test::VideoOnlyFixture(), &wide)) << player_.LastErrMsg();
  test::SleepMs(200);
  player_.Pause();
  EXPECT_EQ(wide.Last().Target, (TRect{80, 0, 480, 360}));
  player_.SetAspectRatio(-1);
  test::SleepMs(100);
  EXPECT_EQ(wide.Last().Target, (TRect{0, 0, 640, 360}));
  player_.NotifyResize(320, 320);
  test::SleepMs(100);
  EXPECT_EQ(wide.Last().AreaWidth, 320);
  EXPECT_EQ(wide.Last().Target, (TRect{0, 0, 320, 320}));
}

}  // namespace
}  // namespace kestrel
namespace kestrel {
namespace {
TEST_F(PlayerControlTest, ProbeDescribesTheFileWhileItPlays) {
  ASSERT_TRUE(player_.Open(test::AudioVideoFixture(), &surface_)) << player_.LastErrMsg();
  EXPECT_EQ(player_.Probe().VideoStreamCount(), 1);
  EXPECT_EQ(player_.Probe().AudioStreamCount(), 1);
  player_.Stop(true);
  EXPECT_EQ(player_.Probe().FormatContext(), nullptr);
}
}  // namespace
}  // namespace kestrel
namespace kestrel {
namespace {

struct StreamOptionCase {
  const char* name;
  bool disable_audio, disable_video, disable_display, mute;
  bool expect_pictures, expect_waveform;
};

class StreamOptions : public PlayerControlTest,
                      public ::testing::WithParamInterface<StreamOptionCase> {};

// Whatever is switched off, the clock runs and the position advances.
TEST_P(StreamOptions, ChooseWhatPlaysAndWhatIsDrawn) {
  const StreamOptionCase& c = GetParam();
  player_.SetDisableAudio(c.disable_audio);
  player_.SetDisableVideo(c.disable_video);
  player_.SetDisableDisplay(c.disable_display);
  player_.SetMute(c.mute);
  ASSERT_TRUE(player_.Open(test::AudioVideoFixture(), &surface_)) << player_.LastErrMsg();
  test::SleepMs(900);
  EXPECT_GT(player_.CurrentPosition(), 400000);
  const SurfaceFrame last = surface_.Last();
  EXPECT_EQ(!surface_.PresentedPTS().empty(), c.expect_pictures);
  EXPECT_EQ(last.Waveform, c.expect_waveform);
  EXPECT_EQ(player_.CurrentFrame().Empty(), !c.expect_pictures);
  player_.Stop(true);
}

INSTANTIATE_TEST_SUITE_P(
    Player, StreamOptions,
    ::testing::Values(StreamOptionCase{"Muted", false, false, false, true, true, false},
                      StreamOptionCase{"NoAudio", true, false, false, false, true, false},
                      StreamOptionCase{"NoVideo", false, true, false, false, false, true},
                      StreamOptionCase{"NoDisplay", false, false, true, false, false, false}),
    [](const ::testing::TestParamInfo<StreamOptionCase>& info) { return info.param.name; });

}  // namespace
}  // namespace kestrel
namespace kestrel {
namespace {
TEST_F(PlayerControlTest, StartPausedShowsTheFirstPictureAndWaits) {
  PlayerRecorder recorder(player_);
  ASSERT_TRUE(player_.Open(test::AudioVideoFixture(), &surface_, true)) << player_.LastErrMsg();
  ASSERT_TRUE(recorder.WaitForState(psPause, 3s));
  test::SleepMs(500);
  EXPECT_EQ(player_.PlayState(), psPause);
  EXPECT_LT(player_.CurrentPosition(), 100000);
  std::int64_t pts = -1;
  EXPECT_FALSE(player_.CurrentFrameWithPTS(pts).Empty());
  EXPECT_EQ(pts, 0);
  player_.Resume();
  test::SleepMs(600);
  EXPECT_GT(player_.CurrentPosition(), 150000);
}
}  // namespace
}  // namespace kestrel
