// Records what a player reports, for the playback tests, and the fixtures they play.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "player/custom_player.h"

namespace kestrel::test {

// Small media files made once per build tree.
std::string AudioVideoFixture();  // 3 s, 160x120 25 fps H.264 (key frame each second), stereo AAC
std::string AudioOnlyFixture();   // 3 s stereo 16-bit WAV sine
std::string VideoOnlyFixture();   // 2 s, 160x120 25 fps MPEG-4 video
// 3 s, 160x120 25 fps black MPEG-4 video with a DVD (bitmap) subtitle track: an opaque
// white 80x20 box at (40, 80) shown from 1 s to 2 s.
std::string BitmapSubtitleFixture();
// 20 s, 160x120 25 fps H.264 with stereo AAC, for measuring sync.
std::string LongAudioVideoFixture();

// Loads the player's libraries; false (with the loader's text) when they are missing.
bool LoadPlayerLibraries(std::string* error);

class PlayerRecorder {
 public:
  // Binds the player's events; they are delivered on the player's event thread unless
  // in_main_thread is set.
  explicit PlayerRecorder(TCustomPlayer& player, bool in_main_thread = false);
  // Stops the player, so no event reaches a recorder that is gone.
  ~PlayerRecorder();

  bool WaitForState(TPlayState state, std::chrono::milliseconds timeout);
  std::vector<std::int64_t> Positions() const;
  std::vector<TPlayState> States() const;
  std::int64_t Duration() const;
  int FrameWidth() const;
  void Clear();

 private:
  TCustomPlayer& player_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::int64_t> positions_;
  std::vector<TPlayState> states_;
  std::int64_t duration_ = -2;
  int frame_width_ = -2;
};

// Mean of all bytes of a bitmap (0 for an empty one).
double MeanByte(const TBitmap& bitmap);
// Mean of the bytes of a rectangle of a bitmap (clipped to it; 0 when nothing is left).
double MeanByte(const TBitmap& bitmap, const TRect& rect);

void SleepMs(int ms);

}  // namespace kestrel::test
