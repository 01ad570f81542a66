// Opening, seeking, pausing and stopping in random order while the events are delivered on
// the main thread through the dispatcher: nothing may deadlock or race.
#include <gtest/gtest.h>

#include <random>

#include "medialib/main_thread.h"
#include "player/custom_player.h"
#include "player_recorder.h"

namespace kestrel {
namespace {

TEST(PlayerStress, RandomControlsWithMainThreadEventsNeverBlock) {
  std::string error;
  ASSERT_TRUE(test::LoadPlayerLibraries(&error)) << error;
  TQueuedMainThread main_thread;
  SetMainThreadDispatcher(&main_thread);
  const std::string files[] = {test::AudioVideoFixture(), test::AudioOnlyFixture(),
                               test::VideoOnlyFixture()};
  MemorySurface surface(160, 120);
  int positions = 0;
  int stops = 0;
  {
    TMediaPlayer player;
    player.SetTriggerEventInMainThread(true);
    player.SetHook(true);
    player.SetOnHook([](TCustomPlayer&, TBitmap& bitmap, std::int64_t) {
      if (!bitmap.Bits.empty()) bitmap.Bits[0] = 0;
    });
    // The handlers run on the main thread and call back into the player.
    player.SetOnPosition([&](TCustomPlayer& sender, std::int64_t) {
      EXPECT_TRUE(main_thread.IsMainThread());
      ++positions;
      sender.CurrentFrame();
    });
    player.SetOnState([&](TCustomPlayer& sender, TPlayState state) {
      EXPECT_TRUE(main_thread.IsMainThread());
      stops += state == psStop;
      (void)sender.CurrentPosition();
    });
    std::mt19937 random(20261211);
    for (int i = 0; i < 200; ++i) {
      switch (random() % 7) {
        case 0:
        case 1:
          player.Open(files[random() % 3], &surface);
          break;
        case 2:
          player.Seek(static_cast<std::int64_t>(random() % 4000000), random() % 2 ? 0 : 4,
                      random() % 2 == 0);
          break;
        case 3:
          player.Pause();
          break;
        case 4:
          player.Resume();
          break;
        case 5:
          player.Stop(random() % 2 == 0);
          break;
        default:
          player.SeekRelative(random() % 2 ? 1.0 : -1.0, 0, false);
          break;
      }
      main_thread.ProcessPendingCalls(std::chrono::milliseconds(random() % 30));
    }
    player.Stop(true);
    EXPECT_FALSE(player.IsOpen());
  }
  SetMainThreadDispatcher(nullptr);
  EXPECT_GT(positions, 0);
  EXPECT_GT(stops, 10);
}

}  // namespace
}  // namespace kestrel
