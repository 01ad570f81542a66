// How Add learns a file's length: a function that opens the file and returns its
// duration, or why it could not. Injected so the job list does not depend on which
// component probes (the task component's throw-away task, or the probe directly).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace kestrel::jobs {

struct TProbeResult {
  bool ok = false;
  std::int64_t duration_us = -1;  // -1 when the container does not know it
  std::string error;              // why the file cannot be converted (when !ok)
};

using TDurationProbe = std::function<TProbeResult(const std::string& file_name)>;

// Opens the file with the media probe (loading the probe's libraries on first use) and
// returns the container's duration.
TProbeResult ProbeDurationWithAVProbe(const std::string& file_name);

}  // namespace kestrel::jobs
