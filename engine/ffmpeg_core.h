// The conversion engine core: one object converts the input files opened on it into the
// output files opened on it. Files are opened on the caller's thread; Start runs the
// conversion on a worker thread of its own (or in the caller's thread) and reports back
// through four callbacks. Every piece of running state belongs to the object, so tasks in
// different threads convert at the same time without touching each other.
//
// Thread use: OpenInputFile, OpenOutputFile, the setters, Start, Stop, Pause and Resume are
// called from one controlling thread; the hook, preview and progress callbacks run on the
// worker thread; the terminate callback runs on the worker thread (or, for a task stopped
// before it started, on a short-lived thread of its own).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/ffmpeg_options.h"
#include "engine/task_records.h"

struct AVFormatContext;

namespace kestrel {

enum class TThreadPriority {
  tpIdle,
  tpLowest,
  tpLower,
  tpNormal,
  tpHigher,
  tpHighest,
  tpTimeCritical
};

// Bits of the preview flags.
// Bit 0 asks for a floating previewer window of the engine's own. This engine opens no
// windows (no window toolkit below the user interface), and the hosts show their preview
// from the bitmap callback (bit 1), so bit 0 is kept but has no effect: it produces no
// pictures and does not make stream copy refuse to run.
constexpr int kPreviewWindow = 1;  // bit 0: the previewer window (ignored, see above)
constexpr int kPreviewBitmap = 2;  // bit 1: the preview callback

constexpr int kMaxInputFiles = 20;
constexpr int kMaxOutputFiles = 20;

class TCustomFFmpeg;

// Called for each decoded video picture while a hook is installed. `info.Bitmap` holds
// the picture at its decoded size in B, G, R byte order; the callee may paint on it and
// sets `Update` (copy it back, in: true) and `StopHook` (never call again, in: false).
// TaskIndex is left 0 for the caller to fill. An exception is logged and the frame is
// left unchanged.
using THookCallback = std::function<void(TCustomFFmpeg& sender, THookInfo& info)>;
// At most every 100 ms, with the picture just given to the encoder, at output size.
using TPreviewCallback = std::function<void(TCustomFFmpeg& sender, const TPreviewInfo& info)>;
// Every progress interval (checked after each packet) and once at the end (FileIndex -1).
using TProgressCallback = std::function<void(TCustomFFmpeg& sender, const TProgressInfo& info)>;
// Once per started (or stopped before starting) task, when it has ended.
using TTerminateCallback = std::function<void(TCustomFFmpeg& sender, const TTerminateInfo& info)>;

struct TOutputFile;
struct TOutputStreamSetup;
struct TEngineFiles;  // opened files and per-run stream state (engine/stream_setup.h)

class TCustomFFmpeg : public TFFmpegOptions {
 public:
  TCustomFFmpeg();
  // Stops the task, waiting for its thread, then cleans up.
  ~TCustomFFmpeg() override;

  // ---- Setup (controlling thread, before Start) ----

  // Clean-up, option defaults, termination flags cleared, TotalDuration -1.
  void Reset();
  // Opens an input with the pending input options. False with LastErrMsg set; some
  // errors (unknown forced format) raise FFmpegException.
  bool OpenInputFile(const std::string& file_name);
  // Opens an output with the pending output options; the number of output files, or -1
  // with LastErrMsg set. `join` concatenates every opened input into this output.
  int OpenOutputFile(const std::string& file_name, bool join);
  int InputFileCount() const;
  int OutputFileCountOpened() const { return OutputFileCount(); }
  // The opened input's format context (for binding a probe), or null.
  const AVFormatContext* InputContext(int file_index) const;
  // Text of the last failure of OpenInputFile, OpenOutputFile or the run.
  const std::string& LastErrMsg() const { return last_error_; }
  // Expected output duration in microseconds, -1 unknown.
  int64_t TotalDuration() const { return Options().total_duration_us; }

  // ---- Settings ----

  void SetVerbose(int level) { MutableOptions().verbose = level; }
  int Verbose() const { return Options().verbose; }
  // Preview flag bits (kPreviewWindow, kPreviewBitmap), read and changed under PreviewLock.
  void SetPreviewFlags(int flags);
  int PreviewFlags() const;
  // Microseconds between progress reports (default 500000).
  void SetProgressInterval(int64_t microseconds) { progress_interval_us_ = microseconds; }
  int64_t ProgressInterval() const { return progress_interval_us_; }
  // Installing a hook callback makes the task call it for each decoded picture.
  void SetHookCallback(THookCallback callback) { hook_ = std::move(callback); }
  void SetPreviewCallback(TPreviewCallback callback) { preview_ = std::move(callback); }
  void SetProgressCallback(TProgressCallback callback) { progress_ = std::move(callback); }
  void SetTerminateCallback(TTerminateCallback callback) { terminate_ = std::move(callback); }
  bool HasHook() const { return static_cast<bool>(hook_); }
  // Called between 20 ms slices while Stop(true) waits (a host services its queued calls).
  void SetWaitService(std::function<void()> service) { wait_service_ = std::move(service); }

  // ---- Run ----

  // Refused (false) while running or after termination. A task without inputs or outputs
  // logs the reason, records the error and reports termination at once (true is returned,
  // since the task did end). Otherwise runs the conversion on a new worker thread with
  // `priority`, or, when `threaded` is false, in this call.
  bool Start(bool threaded, TThreadPriority priority = TThreadPriority::tpNormal);
  // Requests the end: the loop ends before its next packet and the normal end (flush,
  // trailers, report) still runs; Finished stays false. A task never started and not yet
  // terminated reports termination from a short-lived thread. `wait` blocks until done.
  void Stop(bool wait);
  // Holds the worker between packets and between emitted frames, holding no shared lock.
  void Pause();
  void Resume();
  bool Paused() const { return paused_.load(); }

  bool Running() const { return running_.load(); }
  bool Finished() const { return finished_.load(); }
  bool Terminated() const { return terminated_.load(); }
  bool ErrorOccurred() const { return error_.load(); }
  // The error of the run (same as LastErrMsg after the run ended with an error).
  std::string ErrorText() const;
  // The last progress text ("frame=... size=... time=... bitrate=..." and dup/drop).
  std::string LastProgressText() const;

  // The process-wide lock of preview flags and the preview step.
  static std::mutex& PreviewLock();

 protected:
  // TFFmpegOptions hooks.
  std::vector<AVRational> OpenedInputVideoRates() const override;
  int OutputFileCount() const override;
  void NewStream(AVMediaType type) override;

 private:
  friend struct TEngineFiles;  // the setup and loop code in the engine's own sources
  friend class TTranscoder;

  void NewVideoStream(TOutputFile& file);
  void NewAudioStream(TOutputFile& file);
  void NewSubtitleStream(TOutputFile& file);
  // The stream of that kind with the generic settings common to all kinds.
  TOutputStreamSetup& AddOutputStream(TOutputFile& file, AVMediaType type);
  void Log(int level, const std::string& text) const;
  void RunTask();
  void ReportTermination();
  void WaitWhilePaused();
  void CleanUp();

  std::unique_ptr<TEngineFiles> files_;
  std::string last_error_;
  mutable std::mutex error_mutex_;
  std::string error_text_;
  mutable std::mutex progress_text_mutex_;
  std::string progress_text_;

  int preview_flags_ = 0;
  int64_t progress_interval_us_ = 500000;
  THookCallback hook_;
  TPreviewCallback preview_;
  TProgressCallback progress_;
  TTerminateCallback terminate_;
  std::function<void()> wait_service_;

  std::atomic<bool> running_{false};
  std::atomic<bool> break_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> terminated_{false};
  std::atomic<bool> error_{false};
  std::atomic<bool> paused_{false};
  std::mutex pause_mutex_;
  std::condition_variable pause_cv_;
  std::mutex done_mutex_;
  std::condition_variable done_cv_;
  bool done_ = true;
  std::thread worker_;
  std::thread terminate_thread_;
};

}  // namespace kestrel
