// Turns the host's task records into the ordered calls the option dispatcher receives.
// The plan is pure data, so the order can be checked without opening a file; applying
// it to an engine is one loop (ApplyOptionCalls).
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "engine/task_records.h"

namespace kestrel {

class TFFmpegOptions;

struct TOptionCall {
  enum class TKind { kOption, kTarget };
  TKind kind = TKind::kOption;
  std::string name;           // option name, or the target type ("vcd", "svcd", "dvd")
  std::string value;          // option value, or the target's norm ("auto", "pal", "ntsc")
  std::string fallback_norm;  // targets only: the norm used when detection cannot decide

  bool operator==(const TOptionCall&) const = default;
};
using TOptionCalls = std::vector<TOptionCall>;

// The calls for one output file: those before the open and those after it (each
// "newaudio", "newvideo" or "newsubtitle" line with the codec, preset, size and filter
// options that its new stream takes first).
struct TOutputPlan {
  TOptionCalls before_open;
  TOptionCalls after_open;
};

// The input record's calls, run before the input is opened: its extra lines except the
// stream-adding, preset and filter ones, then "f", "ss" and "programid" when set.
TOptionCalls PlanInputOptions(const TInputOptions& input);

// The output record's calls. `now` is the time a TimeStamp of 0 stands for.
TOutputPlan PlanOutputOptions(const TOutputOptions& output, std::time_t now);

// Seconds since 1970-01-01 UTC of a local date-time given as days since 1899-12-30
// (the fraction is the time of day), rounded to the second.
std::int64_t LocalDateTimeToUnixSeconds(double date_time);

// Runs the calls through the engine's dispatcher in order; the first error is raised.
void ApplyOptionCalls(TFFmpegOptions& engine, const TOptionCalls& calls);

}  // namespace kestrel
