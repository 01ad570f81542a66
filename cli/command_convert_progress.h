// What kestrel-cli convert shows while it converts: on a terminal one line rewritten in
// place (job k/n, percentage, frames per second, time spent, time left), otherwise plain
// lines at every tenth of a job, and one line when a job ends. A job's time counts from
// the end of the job before it (tasks start one after the other when one converts at a
// time; with several at once the figures are close enough).
#pragma once

#include <chrono>
#include <cstdio>
#include <map>
#include <string>

#include "engine/task_records.h"

namespace kestrel::cli {

class ProgressReporter {
 public:
  ProgressReporter(std::FILE* out, bool terminal, int job_count)
      : out_(out), terminal_(terminal), job_count_(job_count) {}

  // The run starts now: the first job's time counts from here.
  void Begin() { idle_since_ = Clock::now(); }
  // The number of tasks of the run (files that could not be added have none).
  void SetJobCount(int count) { job_count_ = count; }
  void Progress(int task, const std::string& file, const TProgressInfo& info, int percent);
  // Ends the progress line of a job with its result.
  void Ended(int task, const std::string& file, const std::string& result);
  // A line of its own (a message) that must not run into the progress line.
  void Line(std::FILE* stream, const std::string& text);

 private:
  using Clock = std::chrono::steady_clock;
  double ElapsedSeconds(int task);
  void ClearLine();

  std::FILE* out_;
  bool terminal_;
  int job_count_;
  Clock::time_point idle_since_ = Clock::now();  // the last job's end: the next one's start
  std::map<int, Clock::time_point> started_;
  std::map<int, int> printed_tenth_;  // plain lines: the last tenth printed per job
  size_t line_length_ = 0;            // terminal: what the current line holds
};

// "m:ss" (or "h:mm:ss"); "-:--" for an unknown time.
std::string ClockText(double seconds);

}  // namespace kestrel::cli
