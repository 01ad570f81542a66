// Running the checked rows of the job list: the run control turns them into tasks of the
// task component, starts them, follows their progress and endings, and carries out the
// actions chosen for the end of the run (opening the output folder, shutting down).
//
// Threads: every call is made on the host's main thread, and a main-thread dispatcher
// (medialib/main_thread.h) must be installed before Start, since the component's ending
// notifications arrive on threads of their own and are passed to the main thread. The
// events below are all raised on the main thread.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/ffmpeg_tasks.h"
#include "jobs/job_list.h"
#include "jobs/run_plan.h"
#include "settings/ini_file.h"

namespace kestrel::jobs {

inline constexpr const char* kNoCheckedRowMessage =
    "Please select a file by clicking the check box!";
inline constexpr const char* kWarningTitle = "Warning";

// "priority" of the settings: 0 idle, 1 normal, 2 lower, 3 lowest; nullopt for any other
// value (the component keeps the priority it has).
std::optional<TThreadPriority> ThreadPriorityOf(int setting);

// The running job's share of its expected length, 0..100; 0 while the length is unknown.
int ProgressPercent(const TProgressInfo& info);

// The caption as the progress window shows it: whole when shorter than 51 characters,
// else its first 44 characters, ".." and its extension (with the dot).
std::string ShortCaption(const std::string& caption);

// What the progress window shows for one progress report.
struct TProgressTexts {
  int percent = 0;
  std::string current_time;  // "12 Second"
  std::string length;        // "95 Second"
  std::string file_size;     // "345 kb"
  std::string progress;      // "[1/2]"
  std::string file;          // ShortCaption of the row
};
TProgressTexts ProgressTextsOf(const TProgressInfo& info, int task_count,
                               const std::string& caption);

// The commands of the actions after the last job. Each is run by the shell; the output
// folder is appended to the first one, quoted for the shell.
struct TPostActionCommands {
  std::string open_folder = "xdg-open";
  std::string shut_down = "systemctl poweroff";
};

struct TPostActions {
  bool open_folder = false;  // "Open the output folder after conversion"
  bool shut_down = false;    // "Shut down computer after conversion"
};

// A job that was left out of a run (its source no longer opens, the component refused
// its input or output). Never among TaskRows.
struct TLeftOutJob {
  int row = -1;
  std::string reason;
};

struct TRunEvents {
  // A message for the user (title, text): the no-checked-row warning, output folder
  // warnings, an error that ended the preparation.
  std::function<void(const std::string& title, const std::string& text)> message;
  // A checked row that is not converted in this run.
  std::function<void(const TLeftOutJob& job)> left_out;
  // A progress report of the task converting `row`, after its "Progress" column was set.
  std::function<void(int row, const TProgressInfo& info, const TProgressTexts& texts)> progress;
  // The picture just encoded (only while the component delivers pictures).
  std::function<void(const TPreviewInfo& info)> preview;
  // One task ended (finished, stopped or failed); info.TaskIndex is its task index.
  std::function<void(int row, const TTerminateInfo& info)> job_ended;
  // A post action was run: its command line and the shell's exit status.
  std::function<void(const std::string& command, int status)> post_action;
  // The run is over; the tasks are cleared.
  std::function<void()> run_ended;
};

class TRunControl {
 public:
  // The list, settings and catalogue must outlive the run control; the list's records
  // must not change while a run lasts.
  TRunControl(TJobList& list, settings::IniFile& settings, const settings::IniFile& catalogue);
  // Stops a run going on, waiting for its tasks.
  ~TRunControl();
  TRunControl(const TRunControl&) = delete;
  TRunControl& operator=(const TRunControl&) = delete;

  void SetEvents(TRunEvents events) { events_ = std::move(events); }
  // The check of the profile's frame size made first at Start; false ends Start.
  void SetFrameSizeCheck(std::function<bool()> check) { frame_size_check_ = std::move(check); }
  void SetFrameSizeQuestion(TFrameSizeQuestion ask) { ask_frame_size_ = std::move(ask); }
  // How sources are read while preparing (default: the media probe).
  void SetSourceLoader(TSourceLoader loader) { load_source_ = std::move(loader); }
  // Called for each prepared job before its task is added (extra option lines, ...).
  void SetJobAdjuster(std::function<void(TPreparedJob&)> adjust) { adjust_ = std::move(adjust); }
  void SetPostActionCommands(TPostActionCommands commands) { commands_ = std::move(commands); }
  void SetPostActions(TPostActions actions) { post_actions_ = actions; }
  const TPostActions& PostActions() const { return post_actions_; }
  // Tasks converting at once (1 by default; values below 1 count as 1).
  void SetThreadCount(int count) { thread_count_ = count < 1 ? 1 : count; }

  // The preparation alone: the plan Start would run, with the records' zoom mode set from
  // the profile as Start does. Nothing is started.
  TRunPlan Prepare();

  // Prepares every checked row and starts the tasks. False when nothing was started: no
  // checked row, the frame size check refused, an error while preparing (LastErrMsg), or
  // no job could be added. Throws TTasksBusyError while a run is going on.
  bool Start();
  void Pause() { tasks_.Pause(); }
  void Resume() { tasks_.Resume(); }
  // Stops the run, waiting for its tasks: outputs end cleanly where they are, no further
  // task starts and no post action runs.
  void Cancel();

  // From Start until the end of the run.
  bool Running() const { return running_; }
  bool Cancelled() const { return cancelled_; }
  // Task k of the current run converts row TaskRows()[k].
  const std::vector<int>& TaskRows() const { return task_rows_; }
  const std::vector<TLeftOutJob>& LeftOut() const { return left_out_; }
  const std::string& LastErrMsg() const { return last_err_msg_; }
  TFFmpegTasks& Tasks() { return tasks_; }

 private:
  void Report(const std::string& title, const std::string& text) const;
  void LeaveOut(int row, const std::string& reason);
  bool AddJob(TPreparedJob& job);
  void InstallHandlers();
  void OnProgress(const TProgressInfo& info);
  void OnTaskEnded(const TTerminateInfo& info);
  void OnRunEnded();
  void RunPostActions();
  int RowOf(int task_index) const;

  TJobList& list_;
  settings::IniFile& settings_;
  const settings::IniFile& catalogue_;
  TRunEvents events_;
  std::function<bool()> frame_size_check_;
  TFrameSizeQuestion ask_frame_size_;
  TSourceLoader load_source_;
  std::function<void(TPreparedJob&)> adjust_;
  TPostActionCommands commands_;
  TPostActions post_actions_;
  int thread_count_ = 1;

  // Main thread only.
  std::vector<int> task_rows_;
  std::vector<TLeftOutJob> left_out_;
  std::string last_err_msg_;
  bool running_ = false;
  bool cancelled_ = false;
  bool last_task_finished_ = false;
  bool stopping_ = false;         // inside the component's Stop
  bool run_end_pending_ = false;  // the end of the run arrived while stopping
  bool closing_ = false;          // the destructor runs: events are no longer handled

  TFFmpegTasks tasks_;  // last: freed first, while everything its handlers use is there
};

}  // namespace kestrel::jobs
