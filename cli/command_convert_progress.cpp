#include "cli/command_convert_progress.h"

#include <cmath>

#include "jobs/run_control.h"

namespace kestrel::cli {

std::string ClockText(double seconds) {
  if (!std::isfinite(seconds) || seconds < 0) return "-:--";
  const long total = std::lround(seconds);
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  }
  return text;
}

double ProgressReporter::ElapsedSeconds(int task) {
  auto [it, added] = started_.emplace(task, idle_since_);
  return std::chrono::duration<double>(Clock::now() - it->second).count();
}

void ProgressReporter::Progress(int task, const std::string& file, const TProgressInfo& info,
                                int percent) {
  const double elapsed = ElapsedSeconds(task);
  const double done =
      info.TotalDuration > 0 ? static_cast<double>(info.CurrentDuration) / info.TotalDuration : 0.0;
  const double left = done > 0.001 ? elapsed * (1 - std::min(done, 1.0)) / done : -1;
  const long fps_value = info.FrameNumber > 0 && elapsed > 0.05
                             ? std::lround(info.FrameNumber / elapsed)
                         : info.FPS > 0 ? long(info.FPS)
                                        : -1;
  const std::string fps = fps_value >= 0 ? std::to_string(fps_value) + " fps" : "- fps";
  char text[512];
  std::snprintf(text, sizeof text, "[%d/%d] %s %3d%%  %s  elapsed %s  left %s", task + 1,
                job_count_, jobs::ShortCaption(file).c_str(), percent, fps.c_str(),
                ClockText(elapsed).c_str(), ClockText(left).c_str());
  if (terminal_) {
    const std::string line = text;
    std::fprintf(out_, "\r%s", line.c_str());
    if (line.size() < line_length_) std::fprintf(out_, "%*s", int(line_length_ - line.size()), "");
    line_length_ = line.size();
    std::fflush(out_);
    return;
  }
  const int tenth = percent / 10;
  auto [it, added] = printed_tenth_.emplace(task, -1);
  if (tenth <= it->second) return;
  it->second = tenth;
  std::fprintf(out_, "%s\n", text);
  std::fflush(out_);
}

void ProgressReporter::ClearLine() {
  if (!terminal_ || line_length_ == 0) return;
  std::fprintf(out_, "\r%*s\r", int(line_length_), "");
  line_length_ = 0;
}

void ProgressReporter::Ended(int task, const std::string& file, const std::string& result) {
  ClearLine();
  idle_since_ = Clock::now();
  std::fprintf(out_, "[%d/%d] %s: %s (%s)\n", task + 1, job_count_, file.c_str(), result.c_str(),
               ClockText(ElapsedSeconds(task)).c_str());
  std::fflush(out_);
}

void ProgressReporter::Line(std::FILE* stream, const std::string& text) {
  ClearLine();
  std::fflush(out_);
  std::fprintf(stream, "%s\n", text.c_str());
  std::fflush(stream);
}

}  // namespace kestrel::cli
