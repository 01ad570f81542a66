// The run side of the task component: scheduling, stop, pause and event delivery.
#include <exception>

extern "C" {
#include <libavutil/log.h>
}

#include "engine/engine_log.h"
#include "engine/ffmpeg_tasks.h"
#include "engine/option_values.h"
#include "medialib/main_thread.h"

namespace kestrel {

void TCustomFFmpegTasks::StartTask(int thread_count) {
  CheckNotWorking("StartTask");
  // Without tasks there is no run, and so no end-of-run notification: the component
  // stays idle instead of staying busy until ClearTasks.
  if (tasks_.empty()) return;
  {
    std::lock_guard<std::recursive_mutex> lock(terminate_lock_);
    finished_count_ = 0;
    next_index_ = 0;
    remaining_ = TaskCount();
    all_done_ = false;
    threaded_ = thread_count > 0;
    run_active_ = true;
    reported_.assign(tasks_.size(), false);
    if (!threaded_) inline_thread_ = std::this_thread::get_id();
  }
  working_ = true;
  if (thread_count > 0) {
    while (thread_count > 0 && StartNext()) --thread_count;
    return;
  }
  while (StartNext()) {
  }
  std::lock_guard<std::recursive_mutex> lock(terminate_lock_);
  inline_thread_ = std::thread::id();
}

// Takes the next task and starts it; false when none is left to start. A threaded start
// happens under the terminate lock, so a Stop that has set remaining to 0 never sees a
// task half started; a task run in the caller's thread runs outside it.
bool TCustomFFmpegTasks::StartNext() {
  TFFmpeg* task = nullptr;
  {
    std::lock_guard<std::recursive_mutex> lock(terminate_lock_);
    if (remaining_ <= 0) return false;
    --remaining_;
    task = tasks_[next_index_++].get();
    task->SetProgressInterval(static_cast<int64_t>(progress_interval_ms_.load()) * 1000);
    if (threaded_) {
      if (!task->Start(true, thread_priority_.load())) ReportRefusedStart(*task);
      return true;
    }
  }
  if (!task->Start(false)) ReportRefusedStart(*task);
  return true;
}

// A task the engine refuses to start still ends, or the run would never end.
void TCustomFFmpegTasks::ReportRefusedStart(TFFmpeg& task) {
  TTerminateInfo info;
  info.Exception = true;
  info.ExceptionMsg = task.LastErrMsg().empty() ? "The task cannot be started." : task.LastErrMsg();
  TaskTerminated(task, info);
}

void TCustomFFmpegTasks::TaskTerminated(TCustomFFmpeg& sender, const TTerminateInfo& info) {
  std::lock_guard<std::recursive_mutex> lock(terminate_lock_);
  // Tasks freed outside a run report their end too; there is nobody to tell.
  if (!run_active_) return;
  const int index = IndexOf(sender);
  if (index < 0 || reported_[index]) {
    EngineLog(this, AV_LOG_WARNING,
              FormatText("Task %d reported its termination more than once.", index));
    return;
  }
  reported_[index] = true;
  TTerminateInfo task_info = info;
  task_info.TaskIndex = index;
  Notify(task_info, false);
  ++finished_count_;
  if (remaining_ < 1 && finished_count_ >= TaskCount()) {
    Notify(TTerminateInfo{-1, true, false, ""}, true);
    all_done_ = true;
    run_active_ = false;
  } else if (threaded_) {
    StartNext();
  }
}

void TCustomFFmpegTasks::Notify(const TTerminateInfo& info, bool end_of_run) {
  TTerminateEvent handler;
  {
    std::lock_guard<std::mutex> lock(handlers_mutex_);
    handler = on_terminate_;
  }
  if (!handler) return;
  if (threaded_) {
    notifier_.Dispatch([this, handler, info] { handler(*this, info); }, end_of_run);
    return;
  }
  try {
    handler(*this, info);
  } catch (const std::exception& e) {
    EngineLog(this, AV_LOG_ERROR, std::string("Error occurs OnTerminate: ") + e.what());
  }
}

void TCustomFFmpegTasks::Stop(bool wait) {
  if (!working_) return;
  bool inline_caller = false;
  {
    std::lock_guard<std::recursive_mutex> lock(terminate_lock_);
    remaining_ = 0;
    inline_caller = inline_thread_ == std::this_thread::get_id();
  }
  // A handler of a run without threads cannot wait for the run it is part of.
  const bool really_wait = wait && !inline_caller;
  for (auto& task : tasks_) task->Stop(really_wait);
}

void TCustomFFmpegTasks::Pause() {
  if (!working_ || !threaded_) return;
  for (auto& task : tasks_)
    if (task->Running() && !task->Paused()) task->Pause();
}

void TCustomFFmpegTasks::Resume() {
  if (!working_) return;
  for (auto& task : tasks_)
    if (task->Paused()) task->Resume();
}

// ---- Event delivery (worker threads) ----

void TCustomFFmpegTasks::DeliverHook(TCustomFFmpeg& sender, THookInfo& info) {
  TCustomHookEvent handler;
  {
    std::lock_guard<std::mutex> lock(handlers_mutex_);
    handler = on_custom_hook_;
  }
  if (!handler) return;
  std::lock_guard<std::mutex> lock(hook_lock_);
  hook_info_ = info;
  hook_info_.TaskIndex = IndexOf(sender);
  handler(*this, &hook_info_);
  info.Update = hook_info_.Update;
  info.StopHook = hook_info_.StopHook;
}

void TCustomFFmpegTasks::DeliverPreview(TCustomFFmpeg& sender, const TPreviewInfo& info) {
  TPreviewBitmapEvent handler;
  {
    std::lock_guard<std::mutex> lock(handlers_mutex_);
    handler = on_preview_bitmap_;
  }
  if (!handler) return;
  std::lock_guard<std::mutex> lock(preview_lock_);
  preview_info_ = info;
  preview_info_.TaskIndex = IndexOf(sender);
  if (trigger_in_main_thread_)
    CallInMainThread([&] { handler(*this, preview_info_); });
  else
    handler(*this, preview_info_);
}

void TCustomFFmpegTasks::DeliverProgress(TCustomFFmpeg& sender, const TProgressInfo& info) {
  TProgressEvent handler;
  {
    std::lock_guard<std::mutex> lock(handlers_mutex_);
    handler = on_progress_;
  }
  if (!handler) return;
  std::lock_guard<std::mutex> lock(progress_lock_);
  progress_info_ = info;
  progress_info_.TaskIndex = IndexOf(sender);
  if (trigger_in_main_thread_)
    CallInMainThread([&] { handler(*this, &progress_info_); });
  else
    handler(*this, &progress_info_);
}

}  // namespace kestrel
