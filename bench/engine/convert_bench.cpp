// Runs one conversion through the task component and prints its wall time, for comparing
// the engine with the command-line converter given the same settings.
//
//   convert_bench INPUT OUTPUT [name=value ...]
//
// Each name=value pair is an engine option applied to the output (as the record's extra
// option lines). Prints "seconds=<wall time>" on success; exits 1 with the error text when
// the task fails.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>

#include "engine/ffmpeg_tasks.h"
#include "medialib/library_loader.h"

int main(int argc, char** argv) {
  using namespace kestrel;
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s INPUT OUTPUT [name=value ...]\n", argv[0]);
    return 2;
  }
  if (!LoadLibs(kEngineLibs)) {
    std::fprintf(stderr, "%s\n", LastError().c_str());
    return 1;
  }
  TOutputOptions record;
  for (int i = 3; i < argc; ++i) record.ExtOptions += std::string(argv[i]) + "\n";

  TFFmpegTasks tasks;
  tasks.SetTriggerEventInMainThread(false);
  tasks.SetEngineVerbosity(-1);
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  TTerminateInfo result;
  tasks.SetOnTerminate([&](TCustomFFmpegTasks&, const TTerminateInfo& info) {
    std::lock_guard<std::mutex> lock(mutex);
    if (info.TaskIndex == 0) result = info;
    if (info.TaskIndex == -1) {
      done = true;
      ended.notify_all();
    }
  });
  std::remove(argv[2]);
  const auto start = std::chrono::steady_clock::now();
  const int index = tasks.AddTask(argv[1]);
  if (index < 0 || !tasks.SetOutputFile(index, argv[2], &record)) {
    std::fprintf(stderr, "%s\n", tasks.LastErrMsg().c_str());
    return 1;
  }
  tasks.StartTask(1);
  {
    std::unique_lock<std::mutex> lock(mutex);
    ended.wait(lock, [&] { return done; });
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!result.Finished || result.Exception) {
    std::fprintf(stderr, "conversion failed: %s\n", result.ExceptionMsg.c_str());
    return 1;
  }
  std::printf("seconds=%.3f\n", seconds);
  return 0;
}
