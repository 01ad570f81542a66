// The task component: an ordered list of conversion tasks (one input, up to 20 outputs
// each) that the host fills from two plain records, runs on worker threads and hears
// back from through four events.
//
// Every operation is called on the host's main thread. The events:
//   OnCustomHook     per decoded picture of a task whose output asked for it; on the
//                    worker thread, under the hook lock.
//   OnPreviewBitmap  a picture of the output now and then; on the main thread (the
//   OnProgress       worker waits) when TriggerEventInMainThread, else on the worker;
//                    under the preview or progress lock.
//   OnTerminate      once per task, then once with TaskIndex -1 after every task's own
//                    notification has been handled. In a threaded run each comes on a
//                    short-lived thread of its own; in a run without threads, on the
//                    caller's thread.
// A busy component refuses changes with TTasksBusyError ("Cannot %s while working.");
// option and file errors give -1 or false and keep their text in LastErrMsg().
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "engine/ffmpeg_core.h"
#include "engine/task_notifier.h"
#include "engine/task_records.h"
#include "probe/av_probe.h"

namespace kestrel {

class TCustomFFmpegTasks;

// One task: an engine with the records it was given and a probe per opened input.
class TFFmpeg : public TCustomFFmpeg {
 public:
  TFFmpeg() = default;
  // Stops the task and waits for its thread before its probes go.
  ~TFFmpeg() override;

  // The probe bound to input file_index, made on first use; null without that input.
  TAVProbe* Probe(int file_index);

  std::array<std::optional<TInputOptions>, kMaxInputFiles> input_records;
  std::array<std::optional<TOutputOptions>, kMaxOutputFiles> output_records;

 private:
  std::array<std::unique_ptr<TAVProbe>, kMaxInputFiles> probes_;
};

// Raised by an operation the running component refuses.
class TTasksBusyError : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

using TCustomHookEvent = std::function<void(TCustomFFmpegTasks& sender, PHookInfo info)>;
using TPreviewBitmapEvent =
    std::function<void(TCustomFFmpegTasks& sender, const TPreviewInfo& info)>;
using TProgressEvent = std::function<void(TCustomFFmpegTasks& sender, PProgressInfo info)>;
using TTerminateEvent = std::function<void(TCustomFFmpegTasks& sender, const TTerminateInfo& info)>;

class TCustomFFmpegTasks {
 public:
  static constexpr int kMinProgressIntervalMs = 100;

  TCustomFFmpegTasks();
  // Stops every task (waiting, while the main thread's queued calls keep running), frees
  // them and waits for the notifications still being handled.
  virtual ~TCustomFFmpegTasks();
  TCustomFFmpegTasks(const TCustomFFmpegTasks&) = delete;
  TCustomFFmpegTasks& operator=(const TCustomFFmpegTasks&) = delete;

  std::string Version() const { return "3.3"; }
  // The verbose level each new task starts with (the engine's "v").
  int EngineVerbosity() const { return engine_verbosity_; }
  void SetEngineVerbosity(int level) { engine_verbosity_ = level; }

  // Loads the engine's libraries, from `folder` first when it holds them.
  bool LoadAVLib(const std::string& folder);
  // Opens the input of a new task; its index, or -1 with LastErrMsg.
  int AddTask(const std::string& file_name, const TInputOptions* options = nullptr);
  // Adds one output file to a task; false with LastErrMsg.
  bool SetOutputFile(int task_index, const std::string& file_name,
                     const TOutputOptions* options = nullptr);
  // Frees one task; later tasks move down. std::out_of_range for a bad index.
  void RemoveTask(int task_index);
  // Frees every task and makes the component idle; refused while a run is going on.
  void ClearTasks();
  // thread_count > 0: at most that many tasks at once, each on a worker thread of its
  // own; <= 0: every task in this call, one after the other.
  void StartTask(int thread_count);
  void Pause();
  void Resume();
  // No further task starts; running tasks end their output cleanly, tasks not yet started
  // report their termination. `wait` returns only when they have all ended.
  void Stop(bool wait);

  int TaskCount() const { return static_cast<int>(tasks_.size()); }
  // The probe bound to input file_index of a task, or null.
  TAVProbe* TaskProbe(int task_index, int file_index);
  TAVProbe& AVProbe() { return av_probe_; }
  const std::string& LastErrMsg() const { return last_err_msg_; }
  // True from StartTask until ClearTasks.
  bool Working() const { return working_; }

  bool Preview() const { return preview_; }
  void SetPreview(bool value);
  bool PreviewBitmap() const { return preview_bitmap_; }
  void SetPreviewBitmap(bool value);
  int ProgressInterval() const { return progress_interval_ms_; }
  // Values of 100 ms or less become 100.
  void SetProgressInterval(int milliseconds);
  TThreadPriority ThreadPriority() const { return thread_priority_; }
  void SetThreadPriority(TThreadPriority value) { thread_priority_ = value; }
  bool TriggerEventInMainThread() const { return trigger_in_main_thread_; }
  void SetTriggerEventInMainThread(bool value) { trigger_in_main_thread_ = value; }

  void SetOnCustomHook(TCustomHookEvent handler);
  void SetOnPreviewBitmap(TPreviewBitmapEvent handler);
  void SetOnProgress(TProgressEvent handler);
  void SetOnTerminate(TTerminateEvent handler);

 private:
  void CheckNotWorking(const char* operation) const;
  TFFmpeg* TaskAt(int task_index) const;
  int IndexOf(const TCustomFFmpeg& task) const;
  void ConfigureNewTask(TFFmpeg& task, const TInputOptions* options);
  void OpenOutput(TFFmpeg& task, const std::string& file_name, const TOutputOptions* options);
  bool StartNext();
  void ReportRefusedStart(TFFmpeg& task);
  void TaskTerminated(TCustomFFmpeg& sender, const TTerminateInfo& info);
  void Notify(const TTerminateInfo& info, bool end_of_run);
  void DeliverHook(TCustomFFmpeg& sender, THookInfo& info);
  void DeliverPreview(TCustomFFmpeg& sender, const TPreviewInfo& info);
  void DeliverProgress(TCustomFFmpeg& sender, const TProgressInfo& info);
  void InstallCallbacks(TFFmpeg& task);

  // Changed only by the main thread while no run is going on.
  std::vector<std::unique_ptr<TFFmpeg>> tasks_;
  TAVProbe av_probe_;
  std::string last_err_msg_;
  int engine_verbosity_ = 1;
  bool preview_ = false;
  bool preview_bitmap_ = false;
  // Read by the workers that start a successor.
  std::atomic<int> progress_interval_ms_{500};
  std::atomic<TThreadPriority> thread_priority_{TThreadPriority::tpNormal};
  std::atomic<bool> trigger_in_main_thread_{true};
  bool working_ = false;  // main thread only

  // The run's counters, guarded by terminate_lock_ (recursive: a task that cannot start
  // reports its end inside the start step that holds it).
  std::recursive_mutex terminate_lock_;
  int finished_count_ = 0;
  int next_index_ = -1;
  int remaining_ = 0;
  bool all_done_ = false;
  bool threaded_ = false;
  bool run_active_ = false;        // from StartTask until the end-of-run notification
  std::vector<bool> reported_;     // per task: its termination was counted
  std::thread::id inline_thread_;  // the caller running a run without threads

  // One lock per event kind, held while its shared record is filled and delivered.
  std::mutex hook_lock_;
  std::mutex preview_lock_;
  std::mutex progress_lock_;
  THookInfo hook_info_;
  TPreviewInfo preview_info_;
  TProgressInfo progress_info_;

  // The handlers; copied under handlers_mutex_ before each call, so that replacing one
  // never waits for a delivery in progress.
  mutable std::mutex handlers_mutex_;
  TCustomHookEvent on_custom_hook_;
  TPreviewBitmapEvent on_preview_bitmap_;
  TProgressEvent on_progress_;
  TTerminateEvent on_terminate_;

  TTerminateNotifier notifier_;
};

// The component the hosts create.
class TFFmpegTasks : public TCustomFFmpegTasks {
 public:
  TFFmpegTasks() = default;
};

}  // namespace kestrel
