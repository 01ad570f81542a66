// kestrel-cli convert: the windows' conversion run without windows. The files become a
// job list, every job gets the edits of the command line, and the run control converts
// them with the chosen profile while a progress line follows.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/command_convert_gui.h"
#include "cli/command_convert_options.h"
#include "cli/command_convert_print.h"
#include "cli/command_convert_progress.h"
#include "cli/command_convert_setup.h"
#include "cli/command_registry.h"
#include "engine/ext_options.h"
#include "engine/task_option_plan.h"
#include "jobs/profile_defaults.h"
#include "jobs/run_control.h"
#include "medialib/main_thread.h"
#include "settings/locations.h"
#include "settings/profile_keys.h"
#include "settings/settings_keys.h"

namespace kestrel::cli {
namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitStopped = 130;

volatile std::sig_atomic_t g_stop_signal = 0;

void OnStopSignal(int signal_number) {
  g_stop_signal = signal_number;
}

// Ctrl-C and SIGTERM ask for a clean stop; a second one ends the program at once.
void InstallStopHandlers() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

void Error(const std::string& text) {
  std::fprintf(stderr, "kestrel-cli convert: %s\n", text.c_str());
}

// The command line's edits on a job record (its paths, length and zoom stay).
void ApplyEdits(const jobs::TlvFilesRecord& e, jobs::TlvFilesRecord& r) {
  r.TrimStart = e.TrimStart;
  r.TrimLength = e.TrimLength;
  r.CropTop = e.CropTop;
  r.CropLeft = e.CropLeft;
  r.CropBottom = e.CropBottom;
  r.CropRight = e.CropRight;
  r.SpinUp = e.SpinUp;
  r.SpinLeft = e.SpinLeft;
  r.SpinDown = e.SpinDown;
  r.SpinRight = e.SpinRight;
  r.WaterText = e.WaterText;
  r.WaterFont = e.WaterFont;
  r.TextX = e.TextX;
  r.TextY = e.TextY;
  r.WaterImage = e.WaterImage;
  r.ImageX = e.ImageX;
  r.ImageY = e.ImageY;
  r.ImageAlpha = e.ImageAlpha;
  r.TransparentStyle = e.TransparentStyle;
  r.Brightness = e.Brightness;
  r.Contrast = e.Contrast;
  r.Saturation = e.Saturation;
  r.Exposure = e.Exposure;
  r.ProcessText = e.ProcessText;
  r.ProcessImage = e.ProcessImage;
}

struct Failure {
  std::string file;
  std::string reason;
};

// One conversion run of the command, from the prepared settings to the exit status.
class ConvertRun {
 public:
  ConvertRun(const ConvertOptions& options, settings::IniFile& settings,
             const settings::IniFile& catalogue)
      : options_(options), settings_(settings), catalogue_(catalogue) {}

  int Run() {
    SetMainThreadDispatcher(&main_thread_);
    AddFiles();
    if (list_.Empty()) return Summary();
    jobs::TRunControl control(list_, settings_, catalogue_);
    Configure(control);
    if (options_.print_options) return PrintOptions(control);
    return Convert(control);
  }

 private:
  void AddFiles() {
    const jobs::TAddReport report = list_.Add(options_.files, settings_, catalogue_);
    for (const std::string& warning : report.warnings) Error("warning: " + warning);
    for (const jobs::TAddSkip& skip : report.skipped) Fail(skip.file, skip.reason);
    for (int row = 0; row < list_.Count(); ++row) ApplyEdits(options_.edits, list_.Record(row));
  }

  void Fail(const std::string& file, const std::string& reason) {
    failures_.push_back({file, reason});
    // The probe's texts name the file already.
    const bool named = reason.rfind(file + ":", 0) == 0;
    reporter_.Line(stderr, "kestrel-cli convert: " + (named ? reason : file + ": " + reason));
  }

  void Configure(jobs::TRunControl& control) {
    control.SetThreadCount(options_.jobs);
    control.SetPostActions({options_.open_folder, false});
    control.SetFrameSizeQuestion([this](const std::string& question) {
      const bool yes = options_.frame_size_answer.value_or(false);
      reporter_.Line(stderr, "kestrel-cli convert: " + question + " " + (yes ? "Yes" : "No") +
                                 (options_.frame_size_answer ? "" : " (--frame-size-answer)"));
      return yes;
    });
    control.SetJobAdjuster([this](jobs::TPreparedJob& job) {
      AddExtraLines(job);
      if (options_.no_hook) job.output.CustomHook = false;
      destinations_[job.row] = job.destination;
    });
    jobs::TRunEvents events;
    events.message = [this](const std::string& title, const std::string& text) {
      reporter_.Line(stderr, "kestrel-cli convert: " + title + ": " + text);
    };
    events.left_out = [this](const jobs::TLeftOutJob& job) {
      Fail(list_.Row(job.row).Caption, job.reason);
    };
    events.progress = [this](int row, const TProgressInfo& info, const jobs::TProgressTexts& t) {
      reporter_.Progress(info.TaskIndex, list_.Row(row).Caption, info, t.percent);
    };
    events.job_ended = [this](int row, const TTerminateInfo& info) { JobEnded(row, info); };
    events.post_action = [this](const std::string& command, int status) {
      if (status != 0)
        reporter_.Line(stderr, "kestrel-cli convert: '" + command + "' ended with status " +
                                   std::to_string(status));
    };
    events.run_ended = [this] { run_ended_ = true; };
    control.SetEvents(events);
  }

  void AddExtraLines(jobs::TPreparedJob& job) {
    for (const std::string& line : options_.extra_lines)
      job.output.ExtOptions += (job.output.ExtOptions.empty() ? "" : "\n") + line;
    if (!override_checked_) WarnOverriddenLines(job.output);
  }

  // The record's own fields are applied after the extra lines, so a line naming one of
  // them is replaced; say so once rather than let it pass as if it had been used.
  void WarnOverriddenLines(const TOutputOptions& output) {
    override_checked_ = true;
    const TOptionCalls calls = PlanOutputOptions(output, std::time(nullptr)).before_open;
    for (const TOptionLine& line : SplitOptionLines(JoinedExtraLines())) {
      const auto last = std::find_if(calls.rbegin(), calls.rend(), [&](const TOptionCall& call) {
        return call.kind == TOptionCall::TKind::kOption && call.name == line.name;
      });
      if (last != calls.rend() && last->value != line.value) {
        reporter_.Line(stderr, "kestrel-cli convert: warning: -x " + line.name + "=" + line.value +
                                   " is replaced by the profile's " + line.name + " " +
                                   (last->value.empty() ? "''" : last->value));
      }
    }
  }

  std::string JoinedExtraLines() const {
    std::string text;
    for (const std::string& line : options_.extra_lines) text += line + "\n";
    return text;
  }

  void JobEnded(int row, const TTerminateInfo& info) {
    const std::string& file = list_.Row(row).Caption;
    if (info.Finished) {
      ++converted_;
      reporter_.Ended(info.TaskIndex, file, "converted to " + destinations_[row]);
      return;
    }
    if (stopping_) {
      stopped_.push_back(row);
      reporter_.Ended(info.TaskIndex, file, "stopped");
      return;
    }
    const std::string reason =
        info.ExceptionMsg.empty() ? "the conversion did not finish" : info.ExceptionMsg;
    reporter_.Ended(info.TaskIndex, file, "failed");
    Fail(file, reason);
  }

  int PrintOptions(jobs::TRunControl& control) {
    jobs::TRunPlan plan = control.Prepare();
    for (const std::string& warning : plan.warnings) Error("warning: " + warning);
    for (const jobs::TSkippedJob& skipped : plan.skipped)
      Fail(list_.Row(skipped.row).Caption, skipped.reason);
    if (!plan.error.empty()) {
      Error(plan.error);
      return kExitFailed;
    }
    for (jobs::TPreparedJob& job : plan.jobs) {
      AddExtraLines(job);
      std::printf("%s\n%s\n", InputArguments(job.input).c_str(),
                  OutputArguments(job.output).c_str());
    }
    return failures_.empty() ? 0 : kExitFailed;
  }

  int Convert(jobs::TRunControl& control) {
    std::unique_ptr<OffscreenGui> gui;
    if (!options_.edits.WaterText.empty()) gui = StartOffscreenGui();
    InstallStopHandlers();
    reporter_.Begin();
    if (!control.Start()) {
      if (failures_.empty()) Error(control.LastErrMsg());
      return Summary();
    }
    reporter_.SetJobCount(static_cast<int>(control.TaskRows().size()));
    while (!run_ended_) {
      main_thread_.RunUntil(
          [&] { return run_ended_ || (g_stop_signal != 0 && !control.Cancelled()); });
      if (g_stop_signal != 0 && !control.Cancelled()) {
        reporter_.Line(stderr, "kestrel-cli convert: stopping...");
        stopping_ = true;
        control.Cancel();
      }
    }
    return Summary();
  }

  int Summary() {
    const int total = static_cast<int>(options_.files.size());
    if (stopping_) {
      std::printf("Stopped: %d of %d files converted.", converted_, total);
      for (int row : stopped_) {
        const std::string& dest = destinations_[row];
        std::error_code ec;  // a task stopped before it began leaves no file
        if (!std::filesystem::exists(dest, ec)) continue;
        std::printf(" The output of %s ends where it was stopped: %s.",
                    list_.Row(row).Caption.c_str(), dest.c_str());
      }
      std::printf("\n");
    } else {
      std::printf("%d of %d files converted.\n", converted_, total);
    }
    std::fflush(stdout);
    if (!failures_.empty()) {
      std::fprintf(stderr, "Not converted:\n");
      for (const Failure& failure : failures_)
        std::fprintf(stderr, "  %s\n",
                     (failure.reason.rfind(failure.file + ":", 0) == 0
                          ? failure.reason
                          : failure.file + ": " + failure.reason)
                         .c_str());
    }
    if (stopping_) return kExitStopped;
    return failures_.empty() && converted_ == total ? 0 : kExitFailed;
  }

  const ConvertOptions& options_;
  settings::IniFile& settings_;
  const settings::IniFile& catalogue_;
  TQueuedMainThread main_thread_;
  jobs::TJobList list_;
  ProgressReporter reporter_{stdout, isatty(STDOUT_FILENO) == 1,
                             static_cast<int>(options_.files.size())};
  std::map<int, std::string> destinations_;  // by row
  std::vector<Failure> failures_;
  std::vector<int> stopped_;  // rows
  int converted_ = 0;
  bool run_ended_ = false;
  bool stopping_ = false;          // a stop signal cancelled the run
  bool override_checked_ = false;  // extra lines checked against the first job's plan
};

// The working copy of the settings gets the command's profile, folder and zoom.
std::string ApplyChoices(const ConvertOptions& options, int code,
                         const settings::IniFile& catalogue, settings::IniFile& settings) {
  std::vector<settings::IniFile::Entry> entries = {{std::string(settings::kSettingsSection),
                                                    std::string(settings::key::kFormatCode),
                                                    std::to_string(code)}};
  if (!options.output_dir.empty()) {
    if (std::string reason = PrepareOutputFolder(options.output_dir); !reason.empty())
      return "cannot use the output folder " + options.output_dir + ": " + reason;
    entries.push_back({std::string(settings::kSettingsSection),
                       std::string(settings::key::kOutPutDir), options.output_dir});
  }
  if (!options.zoom.empty()) {
    entries.push_back({settings::ProfileSection(code),
                       std::string(settings::KeysOf(settings::ProfileSetting::kZoom).para_key),
                       options.zoom});
  }
  if (!settings.WriteEntries(entries)) return settings.LastErrMsg();
  if (!jobs::ProfileIsTuned(settings, code) &&
      !jobs::WriteProfileDefaults(catalogue, settings, code))
    return settings.LastErrMsg();
  return "";
}

int RunConvert(const std::vector<std::string>& args) {
  ConvertOptions options;
  if (std::string error = ParseConvertOptions(args, options); !error.empty()) {
    Error(error);
    std::fprintf(stderr, "Run 'kestrel-cli convert --help' for the options.\n");
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(kConvertHelp, stdout);
    return 0;
  }
  // A mark that cannot be read would leave every picture unmarked, one log line each.
  if (const std::string& image = options.edits.WaterImage;
      !image.empty() && access(image.c_str(), R_OK) != 0) {
    Error("cannot read the image mark " + image + ": " + std::strerror(errno));
    return kExitUsage;
  }
  const std::string settings_path = settings::SettingsFilePath();
  const settings::IniFile catalogue(settings::CatalogueFilePath());
  std::string error;
  const int code =
      ResolveProfile(options.profile, settings::IniFile(settings_path), catalogue, error);
  if (code == 0) {
    Error(error);
    return kExitUsage;
  }
  SettingsCopy settings(settings_path);
  if (!settings.ok()) {
    Error(settings.error());
    return kExitFailed;
  }
  if (std::string problem = ApplyChoices(options, code, catalogue, settings.File());
      !problem.empty()) {
    Error(problem);
    return kExitFailed;
  }
  ConvertRun run(options, settings.File(), catalogue);
  return run.Run();
}

const CommandRegistrar kConvertCommand("convert", "convert media files with an output profile",
                                       RunConvert);

}  // namespace
}  // namespace kestrel::cli
