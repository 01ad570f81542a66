// Scheduling priority of the threads that put pictures on screen.
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "player/playback_context.h"
#include "player/player_log.h"

namespace kestrel {
namespace {

// As the sound device's own thread does, the display's pacing threads ask for more than
// the normal share of a busy machine, so other work delays pictures less.
constexpr int kDisplayNice = -10;

}  // namespace

void RaiseDisplayPriority(const char* thread_name) {
  if (setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kDisplayNice) != 0) {
    // Most users may not raise priorities; the thread then plays at the normal one.
    PlayerLog(llVerbose,
              FormatText("%s thread keeps the normal priority: %s", thread_name, strerror(errno)));
  }
}

}  // namespace kestrel
