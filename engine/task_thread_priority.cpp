#include "engine/task_thread_priority.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern "C" {
#include <libavutil/log.h>
}

#include "engine/engine_log.h"
#include "engine/option_values.h"

namespace kestrel {

TThreadPriorityMapping MappingOf(TThreadPriority priority) {
  switch (priority) {
    case TThreadPriority::tpIdle:
      return {true, 0};
    case TThreadPriority::tpLowest:
      return {false, 10};
    case TThreadPriority::tpLower:
      return {false, 5};
    default:
      return {false, 0};
  }
}

bool ApplyThreadPriority(TThreadPriority priority) {
  const TThreadPriorityMapping mapping = MappingOf(priority);
  sched_param param{};
  param.sched_priority = 0;
  int error =
      pthread_setschedparam(pthread_self(), mapping.idle_policy ? SCHED_IDLE : SCHED_OTHER, &param);
  if (error == 0 && !mapping.idle_policy) {
    // On Linux the nice value of a thread id is that thread's own.
    const auto thread_id = static_cast<id_t>(syscall(SYS_gettid));
    if (setpriority(PRIO_PROCESS, thread_id, mapping.nice) != 0) error = errno;
  }
  if (error == 0) return true;
  EngineLog(nullptr, AV_LOG_WARNING,
            FormatText("Cannot set the worker thread priority %d: %s", static_cast<int>(priority),
                       std::strerror(error)));
  return false;
}

}  // namespace kestrel
