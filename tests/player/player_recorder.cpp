#include "player_recorder.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
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

std::string LongAudioVideoFixture() {
  return MakeFixture("player_av_20s.mp4",
                     "-f lavfi -i testsrc=size=160x120:rate=25:duration=20 "
                     "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=20 "
                     "-ac 2 -c:v libx264 -preset ultrafast -g 25 -pix_fmt yuv420p -c:a aac");
}

namespace {

void PutBigEndian(std::string& out, std::uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

// One segment of a PGS subtitle stream: magic, 90 kHz time, type, size, payload.
std::string PgsSegment(double seconds, int type, const std::string& payload) {
  std::string out = "PG";
  PutBigEndian(out, static_cast<std::uint64_t>(std::llround(seconds * 90000)), 4);
  PutBigEndian(out, 0, 4);
  PutBigEndian(out, static_cast<std::uint64_t>(type), 1);
  PutBigEndian(out, payload.size(), 2);
  return out + payload;
}

// A display set on a 160x120 screen: the white 80x20 box at (40, 80), or an empty screen.
std::string PgsDisplaySet(double seconds, bool box, int number) {
  constexpr int kX = 40, kY = 80, kWidth = 80, kHeight = 20;
  std::string composition;
  PutBigEndian(composition, 160, 2);
  PutBigEndian(composition, 120, 2);
  PutBigEndian(composition, 0x10, 1);  // frame rate code
  PutBigEndian(composition, static_cast<std::uint64_t>(number), 2);
  PutBigEndian(composition, box ? 0x80 : 0x00, 1);  // epoch start / normal
  PutBigEndian(composition, 0, 2);                  // no palette update, palette 0
  PutBigEndian(composition, box ? 1 : 0, 1);        // composed objects
  if (box) {
    PutBigEndian(composition, 0, 4);  // object 0 in window 0, not cropped
    PutBigEndian(composition, kX, 2);
    PutBigEndian(composition, kY, 2);
  }
  std::string window;
  PutBigEndian(window, 1, 1);
  PutBigEndian(window, 0, 1);
  for (int value : {kX, kY, kWidth, kHeight}) PutBigEndian(window, static_cast<unsigned>(value), 2);
  std::string out = PgsSegment(seconds, 0x16, composition) + PgsSegment(seconds, 0x17, window);
  if (box) {
    std::string palette;
    PutBigEndian(palette, 0, 2);  // palette 0, version 0
    for (int value : {1, 235, 128, 128, 255})
      PutBigEndian(palette, static_cast<unsigned>(value), 1);
    std::string lines;  // run-length coded: one byte per pixel of colour 1, 0 0 ends a line
    for (int y = 0; y < kHeight; ++y) lines += std::string(kWidth, '\x01') + std::string(2, '\0');
    std::string object;
    PutBigEndian(object, 0, 3);     // object 0, version 0
    PutBigEndian(object, 0xC0, 1);  // first and last fragment
    PutBigEndian(object, lines.size() + 4, 3);
    PutBigEndian(object, kWidth, 2);
    PutBigEndian(object, kHeight, 2);
    out += PgsSegment(seconds, 0x14, palette) + PgsSegment(seconds, 0x15, object + lines);
  }
  return out + PgsSegment(seconds, 0x80, "");
}

}  // namespace

std::string BitmapSubtitleFixture() {
  // ffmpeg encodes DVD subtitles only from bitmaps: it gets them from a disc-style PGS
  // stream written here, keeping its times (-copyts) and ending each at the next.
  const std::string pgs = TempDir() + "/white_box.sup";
  std::ofstream(pgs, std::ios::binary) << PgsDisplaySet(1, true, 0) << PgsDisplaySet(2, false, 1);
  return MakeFixture("player_dvdsub.mkv",
                     "-copyts -fix_sub_duration -i " + ShellQuote(pgs) +
                         " -f lavfi -i color=c=black:size=160x120:rate=25:duration=3 "
                         "-map 1:v -map 0:s -c:v mpeg4 -c:s dvdsub");
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

double MeanByte(const TBitmap& bitmap, const TRect& rect) {
  const int x0 = std::max(0, rect.Left), x1 = std::min(bitmap.Width, rect.Left + rect.Width);
  const int y0 = std::max(0, rect.Top), y1 = std::min(bitmap.Height, rect.Top + rect.Height);
  if (x0 >= x1 || y0 >= y1) return 0;
  double sum = 0;
  for (int y = y0; y < y1; ++y) {
    const std::uint8_t* row = bitmap.ScanLine(y);
    sum = std::accumulate(row + 3 * x0, row + 3 * x1, sum);
  }
  return sum / (3.0 * (x1 - x0) * (y1 - y0));
}

void SleepMs(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace kestrel::test
