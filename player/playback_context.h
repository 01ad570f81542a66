// The playback core: one context per open file, with its read, video, subtitle and
// refresh threads, the packet queues, the picture queue, the clocks and the audio path.
#pragma once

#include <SDL_audio.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "player/packet_queue.h"
#include "player/player_types.h"

extern "C" {
struct AVCodecContext;
struct AVFilterContext;
struct AVFilterGraph;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwrContext;
struct SwsContext;
#include <libavcodec/avcodec.h>
}

namespace kestrel {

class TCustomPlayer;

constexpr int kPictureQueueSize = 2;
constexpr int kSubtitleQueueSize = 4;
constexpr int kSampleRingSize = 131072;
constexpr int kAudioBufferBytes = 288000;
constexpr std::int64_t kMaxQueueBytes = 15 * 1024 * 1024;
constexpr std::int64_t kAudioRefillBytes = 320 * 1024;
constexpr int kVideoRefillPackets = 5;
constexpr int kAudioSamplesPerRequest = 1024;

// Pictures closer to the sound than this keep their own pace (seconds).
constexpr double kSyncThreshold = 0.01;
// Beyond this the two clocks have nothing to do with each other (a broken timestamp).
constexpr double kNoSyncThreshold = 10;

// One picture of the picture queue; the overlay is the planar YUV 4:2:0 picture shown.
struct QueuedPicture {
  double PTS = 0;         // seconds
  double TargetTime = 0;  // wall clock seconds
  std::int64_t Position = -1;
  AVFrame* Overlay = nullptr;
  int Width = 0;
  int Height = 0;
  bool Allocated = false;  // guarded by PictureMutex
  std::mutex Lock;         // held while the overlay is written or read
  AVRational SampleAspect{0, 1};
};

struct QueuedSubtitle {
  double PTS = 0;
  AVSubtitle Subtitle{};
};

// Open status of a context.
enum class OpenStatus { Starting = 0, Running = 1, Failed = -1, FailedAndFinished = -2 };

struct PlaybackContext {
  explicit PlaybackContext(TCustomPlayer* owner);
  ~PlaybackContext();
  PlaybackContext(const PlaybackContext&) = delete;
  PlaybackContext& operator=(const PlaybackContext&) = delete;

  TCustomPlayer* const Player;
  std::string FileName;

  // Threads.
  std::thread ReadThread;
  std::thread RefreshThread;
  std::thread VideoThread;
  std::thread SubtitleThread;

  // Input; the demuxer context belongs to the read thread.
  AVFormatContext* Input = nullptr;

  // Control flags shared between threads.
  std::atomic<bool> AbortRequest{false};
  std::atomic<bool> Paused{false};
  bool LastPaused = false;  // read thread only
  std::atomic<int> ReadPauseResult{0};
  std::atomic<bool> SeekRequest{false};
  std::atomic<int> SeekFlags{0};
  std::atomic<std::int64_t> SeekTarget{0};
  std::atomic<std::int64_t> SeekRange{0};

  // Streams (-1 when none).
  std::atomic<int> AudioStream{-1};
  std::atomic<int> VideoStream{-1};
  std::atomic<int> SubtitleStream{-1};
  AVStream* AudioSt = nullptr;
  AVStream* VideoSt = nullptr;
  AVStream* SubtitleSt = nullptr;
  AVCodecContext* AudioDec = nullptr;
  AVCodecContext* VideoDec = nullptr;
  AVCodecContext* SubtitleDec = nullptr;
  PacketQueue AudioQ;
  PacketQueue VideoQ;
  PacketQueue SubtitleQ;

  // Clocks and frame timing; every field below up to the next blank line is guarded by
  // ClockMutex, a leaf lock (nothing else is taken while it is held).
  mutable std::mutex ClockMutex;
  double AudioClock = 0;
  int AudioBufSize = 0;        // bytes decoded into the current buffer
  int AudioBufIndex = 0;       // bytes of it already handed to the device
  bool AudioBufSilent = true;  // the current buffer is silence played for want of sound
  // What the device was handed in its last callback: the clock at the end of the sound
  // handed over, and how many seconds of sound (not silence) led up to that end.
  double AudioClockAtCallback = 0;
  double AudioSoundAtCallback = 0;
  double FrameTimer = 0;
  double FrameLastPTS = 0;
  double FrameLastDelay = 0.04;
  double VideoClock = 0;
  double FrameDuration = 0.04;  // of the video stream, from its frame rate
  double VideoCurrentPTS = 0;
  double VideoCurrentDrift = 0;
  std::int64_t VideoCurrentPos = -1;
  float SkipRatio = 1;

  // Audio path (the device callback owns the buffers).
  SDL_AudioDeviceID AudioDevice = 0;
  int AudioHardwareBufferBytes = 0;
  int AudioSampleRate = 0;
  int AudioChannels = 0;                  // output channels (1 or 2)
  std::vector<std::uint8_t> AudioBuffer;  // converted signed 16-bit samples
  bool AudioPacketPending = false;        // a packet was sent and frames may follow
  AVFrame* AudioFrame = nullptr;
  SwrContext* Resampler = nullptr;
  int ResamplerFormat = -1;
  int ResamplerRate = 0;
  int ResamplerChannels = 0;
  std::atomic<std::int64_t> AudioCallbackTime{0};  // µs, 0 = unknown; written under ClockMutex
  std::atomic<bool> WaveformDisplay{false};

  // Sample ring for the waveform; written by the callback, read by the display without
  // a lock (a torn picture at worst), hence relaxed atomics.
  std::unique_ptr<std::atomic<std::int16_t>[]> SampleRing;
  std::atomic<int> SampleRingIndex{0};
  int LastWaveStart = 0;  // play thread only

  // Subtitles.
  std::mutex SubtitleMutex;
  std::condition_variable SubtitleCond;
  std::array<QueuedSubtitle, kSubtitleQueueSize> SubtitleQueue;  // guarded by SubtitleMutex
  int SubtitleSize = 0;                                          // guarded by SubtitleMutex
  int SubtitleRead = 0;                                          // guarded by SubtitleMutex
  int SubtitleWrite = 0;                                         // guarded by SubtitleMutex
  std::atomic<bool> SubtitleStreamChanged{false};

  // Picture queue.
  std::mutex PictureMutex;
  std::condition_variable PictureCond;
  std::array<QueuedPicture, kPictureQueueSize> Pictures;  // guarded by PictureMutex
  int PictureSize = 0;                                    // guarded by PictureMutex
  int PictureRead = 0;                                    // guarded by PictureMutex
  int PictureWrite = 0;                                   // guarded by PictureMutex

  // Display area (play thread).
  std::atomic<int> AreaWidth{0};
  std::atomic<int> AreaHeight{0};
  SwsContext* DisplayScaler = nullptr;  // play thread only

  // The picture on screen, kept for redraws and snapshots.
  mutable std::mutex ShownMutex;
  std::shared_ptr<const TBitmap> Shown;  // guarded by ShownMutex
  double ShownPTS = 0;                   // guarded by ShownMutex
  AVRational ShownAspect{0, 1};          // guarded by ShownMutex

  // Timestamp faults (video thread).
  int FaultyPTS = 0;
  int FaultyDTS = 0;
  std::int64_t LastDTSForFault = INT64_MIN;
  std::int64_t LastPTSForFault = INT64_MIN;

  // Video filter graph (video thread); its output size is published for the allocator.
  AVFilterGraph* Graph = nullptr;
  AVFilterContext* GraphSource = nullptr;
  AVFilterContext* GraphOutput = nullptr;
  int GraphInWidth = 0;
  int GraphInHeight = 0;
  int GraphInFormat = -1;
  std::atomic<int> OutputWidth{0};
  std::atomic<int> OutputHeight{0};
  bool VideoDecoderDrained = false;  // video thread

  double SkipAccumulator = 0;  // video thread

  // Refresh pacing: one refresh event in flight at a time; between events the refresh
  // thread sleeps until the next picture is due or something changes the queue.
  std::atomic<bool> RefreshPending{false};  // cleared under RefreshMutex
  std::mutex RefreshMutex;
  std::condition_variable RefreshCond;
  bool RefreshWake = false;  // guarded by RefreshMutex
  std::atomic<int> Status{static_cast<int>(OpenStatus::Starting)};

  // File facts.
  std::atomic<std::int64_t> StartTime{0};  // µs
  std::atomic<std::int64_t> Duration{-1};  // µs
  std::atomic<std::int64_t> AudioDuration{-1};
  bool ImageSequence = false;
  bool CaptureDevice = false;
  int FrameWidth = 0;  // video codec picture size, 0 without video
  int FrameHeight = 0;
  std::atomic<std::int64_t> BitRate{0};

  // End of input.
  std::atomic<bool> EofReported{false};
  std::atomic<bool> EndSignalled{false};
  std::atomic<bool> QueuesDrained{false};
  std::atomic<bool> EofMet{false};
  std::atomic<bool> ReadInProgress{false};
  std::atomic<int> StartPausedCounter{0};
  std::atomic<bool> PausedAtSeek{false};
  std::atomic<bool> DropAfterSeek{false};
  std::atomic<bool> DecoderFlushed{false};

  // Measurements (play thread writes, any thread reads under StatsMutex).
  mutable std::mutex StatsMutex;
  TPlaybackStats Stats;          // guarded by StatsMutex
  double FirstDisplayTime = -1;  // play thread
};

// Wall clock in seconds / microseconds.
double NowSeconds();
std::int64_t NowMicroseconds();

// Opening and closing (called by the player, its lock not held).
std::shared_ptr<PlaybackContext> OpenPlayback(TCustomPlayer* player, const std::string& file_name,
                                              bool start_paused);
void ClosePlaybackContext(PlaybackContext& ctx);

// Clocks in seconds.
double AudioClockOf(const PlaybackContext& ctx);
double VideoClockOf(const PlaybackContext& ctx);
double MasterClockOf(const PlaybackContext& ctx);
// How far the sound playing now is behind a picture time, in seconds; 0 when no sound
// plays (no audio, paused, silence) or the clocks are too far apart to compare.
double SoundLagBehind(const PlaybackContext& ctx, double pts);

void TogglePause(PlaybackContext& ctx);
void RequestSeek(PlaybackContext& ctx, std::int64_t target, std::int64_t range, int flags);

// Threads and steps, one file each.
void ReadThreadMain(PlaybackContext* ctx);
void VideoThreadMain(PlaybackContext* ctx);
void SubtitleThreadMain(PlaybackContext* ctx);
void RefreshThreadMain(PlaybackContext* ctx);
// Gives the calling display thread (play or refresh) a higher scheduling priority when the
// process may; logs and goes on at the normal one when it may not.
void RaiseDisplayPriority(const char* thread_name);
// Wakes the refresh thread (a picture was queued, targets changed, playback closes).
void WakeRefresh(PlaybackContext& ctx);
// Marks the refresh event handled, so the refresh thread plans the next one.
void FinishRefresh(PlaybackContext& ctx);
void AudioCallback(void* opaque, Uint8* stream, int length);
void FreeSubtitleQueue(PlaybackContext& ctx);

// Picture queue (video thread) and display (play thread).
int QueuePicture(PlaybackContext& ctx, AVFrame* frame, double pts, std::int64_t pos);
void AllocatePicture(PlaybackContext& ctx);
void RefreshDisplay(PlaybackContext& ctx, bool advance);
void Display(PlaybackContext& ctx);
void FreePictures(PlaybackContext& ctx);

// Where a picture of the given display aspect goes inside the area: as large as fits,
// centred, even sizes.
TRect FitPicture(int area_width, int area_height, double aspect);
// The display aspect of a picture: AspectRatio < 0 stretches to the area, > 0 forces it,
// 0 takes the picture's own (sample aspect x width / height).
double DisplayAspect(float aspect_ratio, int area_width, int area_height, int width, int height,
                     AVRational sample_aspect);
// Draws the waveform of interleaved 16-bit samples into a black area-sized bitmap: one band
// per channel, a white separator between bands.
// samples: interleaved, the first column's frame first, `count` values.
void DrawWaveform(TBitmap& area, const std::int16_t* samples, int count, int channels);

}  // namespace kestrel
