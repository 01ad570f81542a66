#include "jobs/run_control.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>

#include "jobs/frame_hook.h"
#include "jobs/shell_words.h"
#include "medialib/library_loader.h"
#include "medialib/main_thread.h"
#include "settings/settings_keys.h"

namespace kestrel::jobs {
namespace {

constexpr const char* kErrorTitle = "Error";

// The shell's exit status of a command line, or -1 when it could not be run.
int RunShellCommand(const std::string& command) {
  const int status = std::system(command.c_str());
  if (status == -1) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::optional<TThreadPriority> ThreadPriorityOf(int setting) {
  switch (setting) {
    case 0:
      return TThreadPriority::tpIdle;
    case 1:
      return TThreadPriority::tpNormal;
    case 2:
      return TThreadPriority::tpLower;
    case 3:
      return TThreadPriority::tpLowest;
    default:
      return std::nullopt;
  }
}

int ProgressPercent(const TProgressInfo& info) {
  if (info.TotalDuration <= 0 || info.CurrentDuration <= 0) return 0;
  const std::int64_t percent = info.CurrentDuration * 100 / info.TotalDuration;
  return static_cast<int>(std::min<std::int64_t>(percent, 100));
}

std::string ShortCaption(const std::string& caption) {
  if (caption.size() < 51) return caption;
  const size_t slash = caption.find_last_of('/');
  const size_t dot = caption.find_last_of('.');
  const bool has_ext = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return caption.substr(0, 44) + ".." + (has_ext ? caption.substr(dot) : std::string());
}

TProgressTexts ProgressTextsOf(const TProgressInfo& info, int task_count,
                               const std::string& caption) {
  TProgressTexts texts;
  texts.percent = ProgressPercent(info);
  const std::int64_t length = info.TotalDuration > 0 ? info.TotalDuration : 0;
  texts.current_time = std::to_string(info.CurrentDuration / 1000000) + " Second";
  texts.length = std::to_string(length / 1000000) + " Second";
  texts.file_size = std::to_string(info.CurrentSize / 1000) + " kb";
  texts.progress =
      "[" + std::to_string(info.TaskIndex + 1) + "/" + std::to_string(task_count) + "]";
  texts.file = ShortCaption(caption);
  return texts;
}

TRunControl::TRunControl(TJobList& list, settings::IniFile& settings,
                         const settings::IniFile& catalogue)
    : list_(list), settings_(settings), catalogue_(catalogue) {}

TRunControl::~TRunControl() {
  closing_ = true;
  tasks_.SetOnCustomHook({});
  tasks_.SetOnProgress({});
  tasks_.SetOnPreviewBitmap({});
  tasks_.SetOnTerminate({});
  tasks_.Stop(true);
  task_rows_.clear();
}

void TRunControl::Report(const std::string& title, const std::string& text) const {
  if (events_.message) events_.message(title, text);
}

void TRunControl::LeaveOut(int row, const std::string& reason) {
  left_out_.push_back({row, reason});
  if (events_.left_out) events_.left_out(left_out_.back());
}

TRunPlan TRunControl::Prepare() {
  return PrepareRun(list_, {settings_, catalogue_, load_source_, ask_frame_size_});
}

bool TRunControl::Start() {
  if (tasks_.Working()) throw TTasksBusyError("Cannot Start while working.");
  last_err_msg_.clear();
  if (frame_size_check_ && !frame_size_check_()) {
    last_err_msg_ = "The frame size of the profile is not valid.";
    return false;
  }
  if (const auto priority = ThreadPriorityOf(settings::ReadPriority(settings_)))
    tasks_.SetThreadPriority(*priority);
  if (list_.CheckedRows().empty()) {
    last_err_msg_ = kNoCheckedRowMessage;
    Report(kWarningTitle, kNoCheckedRowMessage);
    return false;
  }
  task_rows_.clear();
  left_out_.clear();
  tasks_.ClearTasks();
  if (!LibsLoaded(kEngineLibs) && !LoadLibs(kEngineLibs)) {
    last_err_msg_ = LastError();
    Report(kErrorTitle, last_err_msg_);
    return false;
  }

  TRunPlan plan = Prepare();
  for (const std::string& warning : plan.warnings) Report(kWarningTitle, warning);
  for (const TSkippedJob& skipped : plan.skipped) LeaveOut(skipped.row, skipped.reason);
  if (!plan.error.empty()) {
    last_err_msg_ = plan.error;
    Report(kErrorTitle, plan.error);
    return false;
  }
  for (TPreparedJob& job : plan.jobs) {
    if (adjust_) adjust_(job);
    if (AddJob(job)) task_rows_.push_back(job.row);
  }
  if (task_rows_.empty()) {
    last_err_msg_ = "None of the checked files can be converted.";
    Report(kErrorTitle, last_err_msg_);
    return false;
  }

  InstallHandlers();
  running_ = true;
  cancelled_ = false;
  last_task_finished_ = false;
  tasks_.StartTask(thread_count_);
  return true;
}

// The task is added with its input and output; a job the component refuses is left out,
// so that task indexes and TaskRows stay in step.
bool TRunControl::AddJob(TPreparedJob& job) {
  const int index = tasks_.AddTask(job.input.FileName, &job.input);
  if (index < 0) {
    LeaveOut(job.row, tasks_.LastErrMsg());
    return false;
  }
  if (!tasks_.SetOutputFile(index, job.destination, &job.output)) {
    const std::string reason = tasks_.LastErrMsg();
    tasks_.RemoveTask(index);
    LeaveOut(job.row, reason);
    return false;
  }
  return true;
}

void TRunControl::InstallHandlers() {
  const auto hook = std::make_shared<TConversionHook>(TaskRowsLookup(list_, task_rows_));
  tasks_.SetOnCustomHook([hook](TCustomFFmpegTasks&, PHookInfo info) { (*hook)(*info); });
  tasks_.SetOnProgress([this](TCustomFFmpegTasks&, PProgressInfo info) { OnProgress(*info); });
  tasks_.SetPreviewBitmap(static_cast<bool>(events_.preview));
  if (events_.preview) {
    tasks_.SetOnPreviewBitmap([this](TCustomFFmpegTasks&, const TPreviewInfo& info) {
      if (info.Bitmap.width > 0 && info.Bitmap.height > 0) events_.preview(info);
    });
  } else {
    tasks_.SetOnPreviewBitmap({});
  }
  tasks_.SetTriggerEventInMainThread(true);
  tasks_.SetOnTerminate([this](TCustomFFmpegTasks&, const TTerminateInfo& info) {
    CallInMainThread([this, info] {
      if (closing_) return;
      if (info.TaskIndex < 0) {
        // Inside Cancel the component is still walking its tasks: clear them after.
        if (stopping_) {
          run_end_pending_ = true;
        } else {
          OnRunEnded();
        }
      } else {
        OnTaskEnded(info);
      }
    });
  });
}

int TRunControl::RowOf(int task_index) const {
  if (task_index < 0 || task_index >= static_cast<int>(task_rows_.size())) return -1;
  return task_rows_[static_cast<size_t>(task_index)];
}

void TRunControl::OnProgress(const TProgressInfo& info) {
  const int row = RowOf(info.TaskIndex);
  if (row < 0 || row >= list_.Count()) return;
  TJobRow& job = list_.Row(row);
  const TProgressTexts texts = ProgressTextsOf(info, tasks_.TaskCount(), job.Caption);
  job.ProgressText = std::to_string(texts.percent) + "%";
  if (events_.progress) events_.progress(row, info, texts);
}

void TRunControl::OnTaskEnded(const TTerminateInfo& info) {
  const int row = RowOf(info.TaskIndex);
  if (info.Finished && row >= 0 && row < list_.Count()) list_.Row(row).ProgressText = "100%";
  if (info.TaskIndex + 1 == static_cast<int>(task_rows_.size()))
    last_task_finished_ = info.Finished;
  if (events_.job_ended) events_.job_ended(row, info);
}

// The post actions wait for the end of the run, so that no task is still writing when the
// computer is shut down, even when several convert at once.
void TRunControl::OnRunEnded() {
  if (!cancelled_ && last_task_finished_) RunPostActions();
  tasks_.ClearTasks();
  running_ = false;
  if (events_.run_ended) events_.run_ended();
}

void TRunControl::RunPostActions() {
  auto run = [this](const std::string& command) {
    const int status = RunShellCommand(command);
    if (events_.post_action) events_.post_action(command, status);
  };
  if (post_actions_.open_folder) {
    const std::string folder = settings::ReadOutputDir(settings_);
    if (folder.size() > 2) run(commands_.open_folder + " " + ShellQuoted(folder));
  }
  if (post_actions_.shut_down) run(commands_.shut_down);
}

void TRunControl::Cancel() {
  if (!running_) return;
  cancelled_ = true;
  stopping_ = true;
  tasks_.Stop(true);
  stopping_ = false;
  if (run_end_pending_) {
    run_end_pending_ = false;
    OnRunEnded();
  }
}

}  // namespace kestrel::jobs
