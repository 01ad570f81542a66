// The player component: operations, state and the threads that carry its events.
#include "player/custom_player.h"

#include <cmath>
#include <cstdlib>

#include "medialib/av.h"
#include "medialib/library_loader.h"
#include "medialib/main_thread.h"
#include "medialib/sdl.h"
#include "player/host_services.h"
#include "player/playback_context.h"
#include "player/player_log.h"

namespace kestrel {
namespace {

constexpr auto kWaitSlice = std::chrono::milliseconds(5);

const char* AudioDriverName(TAudioDriver driver) {
  switch (driver) {
    case adDirectSound:
      return "pulseaudio";
    case adWaveOut:
      return "alsa";
    default:
      return nullptr;
  }
}

}  // namespace

TCustomPlayer::TCustomPlayer() = default;

TCustomPlayer::~TCustomPlayer() {
  {
    std::lock_guard lock(handler_mutex_);
    on_position_ = nullptr;
    on_state_ = nullptr;
    on_hook_ = nullptr;
  }
  Stop(true);
}

bool TCustomPlayer::LoadLibraries(const std::string& library_path) {
  SetLibraryPath(library_path);
  if (!LoadLibs(kPlayerLibs)) {
    SetLastErrMsg(LastError());
    return false;
  }
  return true;
}

bool TCustomPlayer::LibrariesLoaded() const {
  return LibsLoaded(kPlayerLibs);
}

bool TCustomPlayer::Open(const std::string& file_name, VideoSurface* surface, bool start_paused) {
  if (!LibrariesLoaded()) {
    ReportPlayerError("libav or libsdl not loaded.", true);
    return false;
  }
  Stop(true);
  if (!StartAudioSubsystem(surface)) return false;
  if (disable_display_) disable_video_ = true;
  surface_ = surface;
  {
    std::lock_guard lock(play_events_mutex_);
    play_events_.clear();
  }
  {
    std::lock_guard lock(text_mutex_);
    last_stats_ = TPlaybackStats{};
  }
  ResetFileState();
  // Events of the new file collect in its ring until its event thread starts.
  auto channel = std::make_shared<EventChannel>();
  {
    std::lock_guard lock(channel_mutex_);
    channel_ = channel;
  }
  auto ctx = OpenPlayback(this, file_name, start_paused);
  if (!ctx) {
    {
      std::lock_guard lock(channel_mutex_);
      channel_.reset();
    }
    StopAudioSubsystem();
    ResetFileState();
    return false;
  }
  {
    std::lock_guard lock(text_mutex_);
    file_name_ = file_name;
  }
  {
    std::lock_guard lock(context_mutex_);
    context_ = ctx;
  }
  Deliver([this, ctx] { DoFileOpen(*ctx); });
  play_thread_done_.Reset();
  channel->thread = std::thread(&TCustomPlayer::EventThreadMain, this, std::ref(*channel));
  play_thread_ = std::thread(&TCustomPlayer::PlayThreadMain, this);
  return true;
}

void TCustomPlayer::DoFileOpen(PlaybackContext& ctx) {
  {
    std::lock_guard lock(hook_converter_mutex_);
    hook_converter_.Reset();
  }
  TFileOpenEvent handler;
  {
    std::lock_guard lock(handler_mutex_);
    handler = on_file_open_;
  }
  int width = screen_width_;
  int height = screen_height_;
  if (handler) {
    const bool video = ctx.VideoStream >= 0;
    handler(*this, ctx.ImageSequence ? 0 : ctx.Duration.load(), video ? ctx.FrameWidth : -1,
            video ? ctx.FrameHeight : -1, width, height);
  }
  if (surface_ && (width == 0 || height == 0)) surface_->AreaSize(width, height);
  screen_width_ = width;
  screen_height_ = height;
}

void TCustomPlayer::Stop(bool wait_for_end) {
  if (auto ctx = Context()) {
    if (ctx->Paused) {
      TogglePause(*ctx);
      ClearStep();
    }
    PushPlayEvent(PlayEventKind::QuitRequest, ctx.get());
    if (wait_for_end) WaitForPlayThread();
  }
  if (!wait_for_end) return;
  WaitServicing(play_thread_done_);
  if (play_thread_.joinable()) play_thread_.join();
  FinishEventThreads();
  StopAudioSubsystem();
}

void TCustomPlayer::WaitForPlayThread() {
  for (int attempt = 1;;) {
    if (play_thread_done_.WaitFor(std::chrono::milliseconds(100))) return;
    if (OnMainThread()) ServiceMainThread();
    if (!Context()) return;
    std::unique_lock lock(player_mutex_, std::chrono::milliseconds(100));
    if (!lock.owns_lock()) continue;
    ++attempt;
    auto ctx = Context();
    if (!ctx) return;
    if ((attempt > 10 && ctx->ReadInProgress) || attempt > 20) {
      ClosePlayback();
      return;
    }
    PushPlayEvent(PlayEventKind::QuitRequest, ctx.get());
  }
}

void TCustomPlayer::FinishEventThreads() {
  std::vector<std::shared_ptr<EventChannel>> finishing;
  {
    std::lock_guard lock(channel_mutex_);
    if (channel_) retired_.push_back(std::move(channel_));
    channel_.reset();
    if (InEventHandler()) return;
    finishing.swap(retired_);
  }
  for (auto& channel : finishing) {
    WaitServicing(channel->done);
    channel->thread.join();
  }
}

void TCustomPlayer::WaitServicing(ManualResetEvent& event) {
  if (!OnMainThread()) {
    while (!event.WaitFor(std::chrono::milliseconds(100))) {
    }
    return;
  }
  while (!event.IsSet()) ProcessPendingCalls(kWaitSlice);
}

void TCustomPlayer::ClosePlayback() {
  std::shared_ptr<PlaybackContext> ctx;
  {
    std::lock_guard lock(context_mutex_);
    ctx.swap(context_);
  }
  if (ctx) {
    ClosePlaybackContext(*ctx);
    std::lock_guard lock(ctx->StatsMutex);
    KeepStats(ctx->Stats);
  }
  ResetFileState();
  StopAudioSubsystem();
}

void TCustomPlayer::ResetFileState() {
  last_reported_position_ = INT64_MIN;
  current_position_ = -1;
  step_ = 0;
  seeking_ = false;
  seek_done_.Set();
}

void TCustomPlayer::Pause() {
  auto ctx = Context();
  if (!ctx || ctx->Paused) return;
  TogglePause(*ctx);
  ClearStep();
  SetPlayState(psPause);
}

void TCustomPlayer::Resume() {
  auto ctx = Context();
  if (!ctx || !ctx->Paused) return;
  TogglePause(*ctx);
  ClearStep();
  SetPlayState(psResume);
}

void TCustomPlayer::Seek(std::int64_t position, std::uint8_t seek_flags, bool wait_for_seek_end) {
  auto ctx = Context();
  if (!ctx) return;
  if (seek_flags & AVSEEK_FLAG_BYTE) {
    RequestSeek(*ctx, position, 0, seek_flags);
  } else {
    // An unknown duration (-1) must not become the target.
    std::int64_t target = ctx->Duration > 0 ? std::min(position, ctx->Duration.load()) : position;
    target += ctx->StartTime;
    RequestSeek(*ctx, target, position <= 0 ? 1 : 0, seek_flags);
  }
  if (!wait_for_seek_end) return;
  WaitServicing(seek_done_);
  if (ctx->VideoStream >= 0) WaitServicing(frame_ready_);
}

void TCustomPlayer::SeekRelative(double seconds, std::uint8_t seek_flags, bool wait_for_seek_end) {
  auto ctx = Context();
  if (!ctx) return;
  if (seek_flags & AVSEEK_FLAG_BYTE) {
    const std::int64_t rate = ctx->BitRate > 0 ? ctx->BitRate / 8 : 180000;
    std::int64_t position;
    {
      std::lock_guard lock(ctx->ClockMutex);
      position = std::max<std::int64_t>(ctx->VideoCurrentPos, 0);
    }
    RequestSeek(*ctx, position + std::llround(seconds * rate), 0, seek_flags);
  } else {
    const auto target = std::llround((MasterClockOf(*ctx) + seconds) * 1000000);
    RequestSeek(*ctx, target, std::llround(seconds * 1000000), seek_flags);
  }
  if (!wait_for_seek_end) return;
  WaitServicing(seek_done_);
  if (ctx->VideoStream >= 0) WaitServicing(frame_ready_);
}

const TBitmap& TCustomPlayer::CurrentFrame() {
  std::int64_t pts;
  return CurrentFrameWithPTS(pts);
}

const TBitmap& TCustomPlayer::CurrentFrameWithPTS(std::int64_t& pts) {
  std::lock_guard lock(snapshot_mutex_);
  pts = -1;
  auto ctx = Context();
  if (!ctx || ctx->VideoStream < 0) {
    snapshot_.Resize(0, 0);
    return snapshot_;
  }
  std::lock_guard shown_lock(ctx->ShownMutex);
  if (!ctx->Shown) {
    snapshot_.Resize(ctx->FrameWidth, ctx->FrameHeight);
    return snapshot_;
  }
  snapshot_ = *ctx->Shown;
  pts = std::llround(ctx->ShownPTS * 1000000) - ctx->StartTime;
  return snapshot_;
}

void TCustomPlayer::NotifyResize(int width, int height) {
  if (auto ctx = Context()) {
    PushPlayEvent(PlayEventKind::Resize, ctx.get(), width, height);
  } else {
    screen_width_ = width;
    screen_height_ = height;
  }
}

void TCustomPlayer::NotifyExpose() {
  if (auto ctx = Context()) PushPlayEvent(PlayEventKind::Expose, ctx.get());
}

void TCustomPlayer::SetOnFileOpen(TFileOpenEvent handler) {
  std::lock_guard lock(handler_mutex_);
  on_file_open_ = std::move(handler);
}
void TCustomPlayer::SetOnPosition(TPositionEvent handler) {
  std::lock_guard lock(handler_mutex_);
  on_position_ = std::move(handler);
}
void TCustomPlayer::SetOnState(TPlayStateEvent handler) {
  std::lock_guard lock(handler_mutex_);
  on_state_ = std::move(handler);
}
void TCustomPlayer::SetOnHook(THookEvent handler) {
  std::lock_guard lock(handler_mutex_);
  on_hook_ = std::move(handler);
}

void TCustomPlayer::SetAspectRatio(float value) {
  if (aspect_ratio_.exchange(value) == value) return;
  if (auto ctx = Context()) PushPlayEvent(PlayEventKind::DisplayRequest, ctx.get());
}

void TCustomPlayer::SetAudioVolume(TAudioVolume value) {
  audio_volume_ = std::clamp(value, 0, kMaxAudioVolume);
}

std::string TCustomPlayer::About() const {
  std::lock_guard lock(text_mutex_);
  return about_;
}
void TCustomPlayer::SetAbout(const std::string& value) {
  std::lock_guard lock(text_mutex_);
  about_ = value;
}
std::string TCustomPlayer::FileName() const {
  std::lock_guard lock(text_mutex_);
  return file_name_;
}
std::string TCustomPlayer::LastErrMsg() const {
  std::lock_guard lock(text_mutex_);
  return last_err_msg_;
}
void TCustomPlayer::SetLastErrMsg(const std::string& text) {
  std::lock_guard lock(text_mutex_);
  last_err_msg_ = text;
}

bool TCustomPlayer::IsOpen() const {
  return Context() != nullptr;
}

TPlaybackStats TCustomPlayer::Stats() const {
  if (auto ctx = Context()) {
    std::lock_guard lock(ctx->StatsMutex);
    return ctx->Stats;
  }
  std::lock_guard lock(text_mutex_);
  return last_stats_;
}

void TCustomPlayer::KeepStats(const TPlaybackStats& stats) {
  std::lock_guard lock(text_mutex_);
  last_stats_ = stats;
}

std::shared_ptr<PlaybackContext> TCustomPlayer::Context() const {
  std::lock_guard lock(context_mutex_);
  return context_;
}

void TCustomPlayer::ReportPlayerError(const std::string& text, bool store) {
  PlayerLog(llError, text);
  if (store) SetLastErrMsg(text);
}

void TCustomPlayer::AttachProbe(AVFormatContext* context) {
  probe_.AttachFormatContext(context);
}

void TCustomPlayer::DetachProbe() {
  probe_.AttachFormatContext(nullptr);
}

bool TCustomPlayer::StartAudioSubsystem(VideoSurface* surface) {
  if (const char* driver = AudioDriverName(audio_driver_)) setenv("SDL_AUDIODRIVER", driver, 1);
  if (sdl::SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    ReportPlayerError(FormatText("Could not initialize SDL with ScreenHandle(%u): %s",
                                 static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(surface)),
                                 sdl::SDL_GetError()),
                      true);
    return false;
  }
  audio_started_ = true;
  const char* name = sdl::SDL_GetCurrentAudioDriver();
  PlayerLog(llDebug, FormatText("using audio driver: %s\n", name ? name : ""));
  return true;
}

void TCustomPlayer::StopAudioSubsystem() {
  if (audio_started_.exchange(false)) sdl::SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

}  // namespace kestrel
