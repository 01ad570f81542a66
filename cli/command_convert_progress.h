// What kestrel-cli convert shows while it converts: on a terminal one line rewritten in
// place (job k/n, percentage, frames per second, time spent, time left), otherwise plain
// lines at every tenth of a job, and one line when a job ends.
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
  std::map<int, Clock::time_point> started_;
  std::map<int, int> printed_tenth_;  // plain lines: the last tenth printed per job
  size_t line_length_ = 0;            // terminal: what the current line holds
};

// "m:ss" (or "h:mm:ss"); "-:--" for an unknown time.
std::string ClockText(double seconds);

}  // namespace kestrel::cli
