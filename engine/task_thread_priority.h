// Worker-thread priorities on Linux: tpIdle runs under SCHED_IDLE, tpLowest and tpLower at
// nice 10 and 5, everything else at nice 0 (raising a priority above normal needs
// privileges a desktop user does not have).
#pragma once

#include "engine/ffmpeg_core.h"

namespace kestrel {

struct TThreadPriorityMapping {
  bool idle_policy;  // SCHED_IDLE instead of SCHED_OTHER
  int nice;          // for SCHED_OTHER
};
TThreadPriorityMapping MappingOf(TThreadPriority priority);

// Gives the calling thread that priority. False (and a warning in the log) when the
// system refuses, e.g. lowering the nice value a thread inherited.
bool ApplyThreadPriority(TThreadPriority priority);

}  // namespace kestrel
