#include "player_recorder.h"

#include <cstdlib>
#include <numeric>
#include <thread>

#include "medialib/library_loader.h"
#include "tests/support/fixtures.h"

namespace kestrel::test {

std::string AudioVideoFixture() {
  return MakeFixture("player_av.mp4",
                     "-f lavfi -i testsrc=size=160x120:rate=25:duration=3 "
                     "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=3 "
                     "-ac 2 -c:v libx264 -preset ultrafast -g 25 -pix_fmt yuv420p -c:a aac");
}

std::string AudioOnlyFixture() {
  return MakeFixture("player_audio.wav",
                     "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=3 -ac 2 "
                     "-c:a pcm_s16le");
}

std::string VideoOnlyFixture() {
  return MakeFixture("player_video.mp4",
                     "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -c:v mpeg4 -g 25");
}

bool LoadPlayerLibraries(std::string* error) {
  // No sound card is needed: SDL's dummy driver paces the audio like a device would.
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  if (LoadLibs(kPlayerLibs)) return true;
  *error = LastError();
  return false;
}

PlayerRecorder::PlayerRecorder(TCustomPlayer& player, bool in_main_thread) : player_(player) {
  player.SetTriggerEventInMainThread(in_main_thread);
  player.SetOnPosition([this](TCustomPlayer&, std::int64_t pts) {
    std::lock_guard lock(mutex_);
    positions_.push_back(pts);
    changed_.notify_all();
  });
  player.SetOnState([this](TCustomPlayer&, TPlayState state) {
    std::lock_guard lock(mutex_);
    states_.push_back(state);
    changed_.notify_all();
  });
  player.SetOnFileOpen([this](TCustomPlayer&, std::int64_t duration, int width, int, int&, int&) {
    std::lock_guard lock(mutex_);
    duration_ = duration;
    frame_width_ = width;
  });
}

PlayerRecorder::~PlayerRecorder() {
  player_.Stop(true);
  player_.SetOnPosition(nullptr);
  player_.SetOnState(nullptr);
  player_.SetOnFileOpen(nullptr);
}

bool PlayerRecorder::WaitForState(TPlayState state, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] {
    return std::find(states_.begin(), states_.end(), state) != states_.end();
  });
}

std::vector<std::int64_t> PlayerRecorder::Positions() const {
  std::lock_guard lock(mutex_);
  return positions_;
}

std::vector<TPlayState> PlayerRecorder::States() const {
  std::lock_guard lock(mutex_);
  return states_;
}

std::int64_t PlayerRecorder::Duration() const {
  std::lock_guard lock(mutex_);
  return duration_;
}

int PlayerRecorder::FrameWidth() const {
  std::lock_guard lock(mutex_);
  return frame_width_;
}

void PlayerRecorder::Clear() {
  std::lock_guard lock(mutex_);
  positions_.clear();
  states_.clear();
}

double MeanByte(const TBitmap& bitmap) {
  if (bitmap.Bits.empty()) return 0;
  const double sum = std::accumulate(bitmap.Bits.begin(), bitmap.Bits.end(), 0.0);
  return sum / static_cast<double>(bitmap.Bits.size());
}

void SleepMs(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace kestrel::test
