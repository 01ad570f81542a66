// The player component: plays one media file into a VideoSurface with sound through SDL2,
// reports position and state through events, and hands every decoded picture to a hook.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "player/event_ring.h"
#include "player/player_types.h"
#include "player/rgb_converter.h"
#include "player/sync_event.h"
#include "player/video_surface.h"
#include "probe/av_probe.h"

extern "C" {
struct AVFormatContext;
struct AVFrame;
}

namespace kestrel {

struct PlaybackContext;

// Events of the play thread's loop.
enum class PlayEventKind { Quit, Resize, Expose, Allocate, Refresh, DisplayRequest, QuitRequest };

struct PlayEvent {
  PlayEventKind Kind = PlayEventKind::Quit;
  PlaybackContext* Context = nullptr;  // the file the event belongs to
  int Width = 0;
  int Height = 0;
};

class TCustomPlayer {
 public:
  using TFileOpenEvent =
      std::function<void(TCustomPlayer& sender, std::int64_t duration, int frame_width,
                         int frame_height, int& screen_width, int& screen_height)>;
  using TPositionEvent = std::function<void(TCustomPlayer& sender, std::int64_t pts)>;
  using TPlayStateEvent = std::function<void(TCustomPlayer& sender, TPlayState state)>;
  // The bitmap holds the picture about to be shown; what the handler draws is shown.
  using THookEvent = std::function<void(TCustomPlayer& sender, TBitmap& bitmap, std::int64_t pts)>;

  TCustomPlayer();
  virtual ~TCustomPlayer();
  TCustomPlayer(const TCustomPlayer&) = delete;
  TCustomPlayer& operator=(const TCustomPlayer&) = delete;

  // Operations.
  bool LoadLibraries(const std::string& library_path);
  bool LibrariesLoaded() const;
  bool Open(const std::string& file_name, VideoSurface* surface, bool start_paused = false);
  void Stop(bool wait_for_end);
  void Pause();
  void Resume();
  // SeekFlags: 1 backward, 2 byte position, 4 any frame, 8 frame numbers.
  void Seek(std::int64_t position, std::uint8_t seek_flags, bool wait_for_seek_end);
  void SeekRelative(double seconds, std::uint8_t seek_flags, bool wait_for_seek_end);
  // A copy of the picture at the read position of the picture queue; reused by the next
  // call. Black at the video size while no picture is ready, 0 x 0 without video.
  const TBitmap& CurrentFrame();
  const TBitmap& CurrentFrameWithPTS(std::int64_t& pts);

  // The host tells the player that its drawing area changed size or must be redrawn.
  void NotifyResize(int width, int height);
  void NotifyExpose();

  // Events; set them before Open or between playbacks.
  void SetOnFileOpen(TFileOpenEvent handler);
  void SetOnPosition(TPositionEvent handler);
  void SetOnState(TPlayStateEvent handler);
  void SetOnHook(THookEvent handler);

  // Properties.
  float AspectRatio() const { return aspect_ratio_; }
  void SetAspectRatio(float value);
  TAudioDriver AudioDriver() const { return audio_driver_; }
  void SetAudioDriver(TAudioDriver value) { audio_driver_ = value; }
  TVideoDriver VideoDriver() const { return video_driver_; }
  void SetVideoDriver(TVideoDriver value) { video_driver_ = value; }
  TAudioVolume AudioVolume() const { return audio_volume_; }
  void SetAudioVolume(TAudioVolume value);
  bool DisableAudio() const { return disable_audio_; }
  void SetDisableAudio(bool value) { disable_audio_ = value; }
  bool DisableVideo() const { return disable_video_; }
  void SetDisableVideo(bool value) { disable_video_ = value; }
  bool DisableDisplay() const { return disable_display_; }
  void SetDisableDisplay(bool value) { disable_display_ = value; }
  bool Mute() const { return mute_; }
  void SetMute(bool value) { mute_ = value; }
  int FrameWidth() const { return frame_width_; }
  void SetFrameWidth(int value) { frame_width_ = value; }
  int FrameHeight() const { return frame_height_; }
  void SetFrameHeight(int value) { frame_height_ = value; }
  bool Hook() const { return hook_; }
  void SetHook(bool value) { hook_ = value; }
  int ScreenWidth() const { return screen_width_; }
  void SetScreenWidth(int value) { screen_width_ = value; }
  int ScreenHeight() const { return screen_height_; }
  void SetScreenHeight(int value) { screen_height_ = value; }
  bool TriggerEventInMainThread() const { return trigger_in_main_thread_; }
  void SetTriggerEventInMainThread(bool value) { trigger_in_main_thread_ = value; }
  std::string About() const;
  void SetAbout(const std::string& value);
  std::string Version() const { return "2.3"; }

  // State.
  std::string FileName() const;
  VideoSurface* Surface() const { return surface_; }
  std::string LastErrMsg() const;
  TPlayState PlayState() const { return play_state_; }
  std::int64_t CurrentPosition() const { return current_position_; }
  bool IsOpen() const;
  // Describes the open file while it plays (attached to the player's demuxer context when
  // the file opens, detached when playback ends); use it on the thread that calls Open.
  TAVProbe& Probe() { return probe_; }
  // Timing figures of the current (or last) playback.
  TPlaybackStats Stats() const;

  // ---- Used by the playback core only. ----
  void UpdatePosition(PlaybackContext& ctx);
  void RunHook(PlaybackContext& ctx, AVFrame* picture, double pts);
  void PushPlayEvent(PlayEventKind kind, PlaybackContext* ctx, int width = 0, int height = 0);
  void ReportPlayerError(const std::string& text, bool store);
  void SetPlayState(TPlayState state);
  void SetSeeking(bool value) { seeking_ = value; }
  bool Seeking() const { return seeking_; }
  void ClearStep() { step_ = 0; }
  void SetLastErrMsg(const std::string& text);
  void KeepStats(const TPlaybackStats& stats);
  ManualResetEvent& SeekDoneEvent() { return seek_done_; }
  ManualResetEvent& FrameReadyEvent() { return frame_ready_; }
  void AttachProbe(AVFormatContext* context);
  void DetachProbe();

 private:
  std::shared_ptr<PlaybackContext> Context() const;
  void DoFileOpen(PlaybackContext& ctx);
  void WaitForPlayThread();
  void FinishEventThreads();
  void ClosePlayback();
  void ResetFileState();
  void PlayThreadMain();
  struct EventChannel {
    PlayerEventRing ring;
    ManualResetEvent done{false};
    std::thread thread;
  };
  void EventThreadMain(EventChannel& channel);
  void PostPlayerEvent(const TPlayerEvent& event);
  void Deliver(std::function<void()> call);
  bool HandlePlayEvent(const PlayEvent& event, PlaybackContext& ctx);
  PlayEvent NextPlayEvent();
  void WaitServicing(ManualResetEvent& event);
  bool StartAudioSubsystem(VideoSurface* surface);
  void StopAudioSubsystem();

  // Settings, read by the playback threads at any time.
  std::atomic<float> aspect_ratio_{0};
  std::atomic<TAudioDriver> audio_driver_{adDefault};
  std::atomic<TVideoDriver> video_driver_{vdDefault};
  std::atomic<int> audio_volume_{kMaxAudioVolume};
  std::atomic<bool> disable_audio_{false};
  std::atomic<bool> disable_video_{false};
  std::atomic<bool> disable_display_{false};
  std::atomic<bool> mute_{false};
  std::atomic<int> frame_width_{0};
  std::atomic<int> frame_height_{0};
  std::atomic<bool> hook_{false};
  std::atomic<int> screen_width_{0};
  std::atomic<int> screen_height_{0};
  std::atomic<bool> trigger_in_main_thread_{true};

  mutable std::mutex text_mutex_;
  std::string about_;          // guarded by text_mutex_
  std::string file_name_;      // guarded by text_mutex_
  std::string last_err_msg_;   // guarded by text_mutex_
  TPlaybackStats last_stats_;  // guarded by text_mutex_

  mutable std::mutex handler_mutex_;
  TFileOpenEvent on_file_open_;  // guarded by handler_mutex_
  TPositionEvent on_position_;   // guarded by handler_mutex_
  TPlayStateEvent on_state_;     // guarded by handler_mutex_
  THookEvent on_hook_;           // guarded by handler_mutex_

  VideoSurface* surface_ = nullptr;  // set by Open on the caller's thread before any thread
  std::atomic<TPlayState> play_state_{psStop};
  std::atomic<std::int64_t> current_position_{-1};
  std::atomic<std::int64_t> last_reported_position_{INT64_MIN};
  std::atomic<bool> seeking_{false};
  std::atomic<int> step_{0};
  std::atomic<bool> audio_started_{false};  // SDL's audio subsystem is up for this player

  // The current file; the pointer itself is guarded by context_mutex_.
  mutable std::mutex context_mutex_;
  std::shared_ptr<PlaybackContext> context_;

  // The play thread takes player_mutex_ around every event it handles.
  std::timed_mutex player_mutex_;
  ManualResetEvent seek_done_{true};
  ManualResetEvent frame_ready_{true};
  ManualResetEvent play_thread_done_{true};

  // Play thread event queue.
  std::mutex play_events_mutex_;
  std::condition_variable play_events_cond_;
  std::deque<PlayEvent> play_events_;  // guarded by play_events_mutex_

  TAVProbe probe_;
  // Each playback has its own event ring and event thread. A handler that stops the
  // player cannot wait for the thread that called it: that thread is retired instead and
  // joined by a later Stop or the destructor.
  std::mutex channel_mutex_;
  std::shared_ptr<EventChannel> channel_;               // guarded by channel_mutex_
  std::vector<std::shared_ptr<EventChannel>> retired_;  // guarded by channel_mutex_
  std::thread play_thread_;

  // Hook converter (video thread) and the snapshot handed out by CurrentFrame.
  std::mutex hook_converter_mutex_;
  RGBConverter hook_converter_;  // guarded by hook_converter_mutex_
  std::mutex snapshot_mutex_;
  TBitmap snapshot_;  // guarded by snapshot_mutex_
};

// True while a player event handler runs on the calling thread.
bool InEventHandler();

// The published form of the player; all behaviour is in TCustomPlayer.
class TMediaPlayer : public TCustomPlayer {};

}  // namespace kestrel
