#include "engine/ffmpeg_tasks.h"

#include <ctime>

#include "engine/option_values.h"
#include "engine/task_option_plan.h"
#include "medialib/library_loader.h"
#include "medialib/main_thread.h"

namespace kestrel {

// ---- TFFmpeg ----

TFFmpeg::~TFFmpeg() {
  // Waiting here (not in the engine's own clean-up) keeps the main thread's queued calls
  // running, which a worker may be waiting for.
  if (Running()) Stop(true);
  for (auto& probe : probes_) probe.reset();
}

TAVProbe* TFFmpeg::Probe(int file_index) {
  if (file_index < 0 || file_index >= kMaxInputFiles) return nullptr;
  const AVFormatContext* input = InputContext(file_index);
  if (!input) return nullptr;
  std::unique_ptr<TAVProbe>& probe = probes_[file_index];
  if (!probe) {
    probe = std::make_unique<TAVProbe>();
    // The probe only reads the context it is given; it never closes it.
    probe->AttachFormatContext(const_cast<AVFormatContext*>(input));
  }
  return probe.get();
}

// ---- TCustomFFmpegTasks: setup ----

TCustomFFmpegTasks::TCustomFFmpegTasks() = default;

TCustomFFmpegTasks::~TCustomFFmpegTasks() {
  Stop(true);
  // Each task waits for its own threads; reports of tasks that never ran are not counted.
  tasks_.clear();
  notifier_.WaitIdle();
}

void TCustomFFmpegTasks::CheckNotWorking(const char* operation) const {
  if (working_) throw TTasksBusyError(FormatText("Cannot %s while working.", operation));
}

TFFmpeg* TCustomFFmpegTasks::TaskAt(int task_index) const {
  if (task_index < 0 || task_index >= TaskCount()) return nullptr;
  return tasks_[task_index].get();
}

int TCustomFFmpegTasks::IndexOf(const TCustomFFmpeg& task) const {
  for (size_t i = 0; i < tasks_.size(); ++i)
    if (tasks_[i].get() == &task) return static_cast<int>(i);
  return -1;
}

bool TCustomFFmpegTasks::LoadAVLib(const std::string& folder) {
  SetLibraryPath(folder);
  if (LoadLibs(kEngineLibs)) return true;
  last_err_msg_ = LastError();
  return false;
}

void TCustomFFmpegTasks::ConfigureNewTask(TFFmpeg& task, const TInputOptions* options) {
  task.Reset();
  task.SetVerbose(engine_verbosity_);
  task.SetPreviewFlags((preview_ ? kPreviewWindow : 0) | (preview_bitmap_ ? kPreviewBitmap : 0));
  task.SetPreviewCallback(
      [this](TCustomFFmpeg& sender, const TPreviewInfo& info) { DeliverPreview(sender, info); });
  if (options) ApplyOptionCalls(task, PlanInputOptions(*options));
}

int TCustomFFmpegTasks::AddTask(const std::string& file_name, const TInputOptions* options) {
  CheckNotWorking("AddTask");
  if (!LibsLoaded(kEngineLibs)) {
    last_err_msg_ = "The media libraries are not loaded.";
    return -1;
  }
  auto task = std::make_unique<TFFmpeg>();
  std::optional<TInputOptions> record;
  if (options) {
    record = *options;
    if (record->FileName.empty()) record->FileName = file_name;
  }
  const std::string name = record ? record->FileName : file_name;
  try {
    ConfigureNewTask(*task, record ? &*record : nullptr);
    const int input_index = task->InputFileCount();
    if (input_index < kMaxInputFiles) task->input_records[input_index] = record;
    if (!task->OpenInputFile(name)) {
      last_err_msg_ = task->LastErrMsg();
      return -1;
    }
    task->Probe(input_index);
  } catch (const std::exception& e) {
    last_err_msg_ = e.what();
    return -1;
  }
  InstallCallbacks(*task);
  tasks_.push_back(std::move(task));
  return TaskCount() - 1;
}

void TCustomFFmpegTasks::InstallCallbacks(TFFmpeg& task) {
  task.SetProgressCallback(
      [this](TCustomFFmpeg& sender, const TProgressInfo& info) { DeliverProgress(sender, info); });
  task.SetTerminateCallback(
      [this](TCustomFFmpeg& sender, const TTerminateInfo& info) { TaskTerminated(sender, info); });
  // Stop(true) on the main thread keeps running the calls that workers wait for.
  task.SetWaitService([] {
    if (IsMainThread()) ProcessPendingCalls();
  });
}

bool TCustomFFmpegTasks::SetOutputFile(int task_index, const std::string& file_name,
                                       const TOutputOptions* options) {
  CheckNotWorking("SetOutputFile");
  TFFmpeg* task = TaskAt(task_index);
  if (!task) {
    last_err_msg_ = FormatText("Task index %d out of range.", task_index);
    return false;
  }
  const int output_index = task->OutputFileCountOpened();
  if (output_index >= kMaxOutputFiles) {
    last_err_msg_ = FormatText("max output files %d reached", kMaxOutputFiles);
    return false;
  }
  try {
    OpenOutput(*task, file_name, options);
    return true;
  } catch (const std::exception& e) {
    last_err_msg_ = e.what();
    task->output_records[output_index].reset();
    return false;
  }
}

// Applies the record's options around the open; raises on any failure.
void TCustomFFmpegTasks::OpenOutput(TFFmpeg& task, const std::string& file_name,
                                    const TOutputOptions* options) {
  const int output_index = task.OutputFileCountOpened();
  TOutputPlan plan;
  std::string name = file_name;
  bool join = false;
  if (options) {
    TOutputOptions& record = task.output_records[output_index].emplace(*options);
    if (record.FileName.empty()) record.FileName = file_name;
    name = record.FileName;
    join = record.Join;
    plan = PlanOutputOptions(record, std::time(nullptr));
    ApplyOptionCalls(task, plan.before_open);
    if (record.CustomHook)
      task.SetHookCallback(
          [this](TCustomFFmpeg& sender, THookInfo& info) { DeliverHook(sender, info); });
  } else {
    task.output_records[output_index].reset();
  }
  if (task.OpenOutputFile(name, join) < 0) throw FFmpegException(task.LastErrMsg());
  ApplyOptionCalls(task, plan.after_open);
}

void TCustomFFmpegTasks::RemoveTask(int task_index) {
  CheckNotWorking("RemoveTask");
  if (!TaskAt(task_index))
    throw std::out_of_range(FormatText("Task index %d out of range.", task_index));
  tasks_.erase(tasks_.begin() + task_index);
}

void TCustomFFmpegTasks::ClearTasks() {
  {
    std::lock_guard<std::recursive_mutex> lock(terminate_lock_);
    if (working_ && !all_done_) throw TTasksBusyError("Cannot ClearTasks while working.");
    finished_count_ = 0;
    next_index_ = -1;
    remaining_ = 0;
    all_done_ = false;
    threaded_ = false;
    run_active_ = false;
    reported_.clear();
  }
  tasks_.clear();
  last_err_msg_.clear();
  working_ = false;
}

TAVProbe* TCustomFFmpegTasks::TaskProbe(int task_index, int file_index) {
  TFFmpeg* task = TaskAt(task_index);
  return task ? task->Probe(file_index) : nullptr;
}

// ---- Properties ----

void TCustomFFmpegTasks::SetPreview(bool value) {
  preview_ = value;
  for (auto& task : tasks_) {
    const int flags = task->PreviewFlags();
    task->SetPreviewFlags(value ? flags | kPreviewWindow : flags & ~kPreviewWindow);
  }
}

void TCustomFFmpegTasks::SetPreviewBitmap(bool value) {
  preview_bitmap_ = value;
  for (auto& task : tasks_) {
    const int flags = task->PreviewFlags();
    task->SetPreviewFlags(value ? flags | kPreviewBitmap : flags & ~kPreviewBitmap);
  }
}

void TCustomFFmpegTasks::SetProgressInterval(int milliseconds) {
  progress_interval_ms_ =
      milliseconds > kMinProgressIntervalMs ? milliseconds : kMinProgressIntervalMs;
}

void TCustomFFmpegTasks::SetOnCustomHook(TCustomHookEvent handler) {
  std::lock_guard<std::mutex> lock(handlers_mutex_);
  on_custom_hook_ = std::move(handler);
}
void TCustomFFmpegTasks::SetOnPreviewBitmap(TPreviewBitmapEvent handler) {
  std::lock_guard<std::mutex> lock(handlers_mutex_);
  on_preview_bitmap_ = std::move(handler);
}
void TCustomFFmpegTasks::SetOnProgress(TProgressEvent handler) {
  std::lock_guard<std::mutex> lock(handlers_mutex_);
  on_progress_ = std::move(handler);
}
void TCustomFFmpegTasks::SetOnTerminate(TTerminateEvent handler) {
  std::lock_guard<std::mutex> lock(handlers_mutex_);
  on_terminate_ = std::move(handler);
}

}  // namespace kestrel
