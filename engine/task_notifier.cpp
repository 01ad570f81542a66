#include "engine/task_notifier.h"

#include <chrono>
#include <exception>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "engine/engine_log.h"
#include "medialib/main_thread.h"

namespace kestrel {

TTerminateNotifier::~TTerminateNotifier() {
  WaitIdle();
}

void TTerminateNotifier::Dispatch(std::function<void()> call, bool last) {
  JoinEnded();
  std::lock_guard<std::mutex> lock(mutex_);
  if (!last) ++open_calls_;
  TEntry& entry = entries_.emplace_back();
  entry.thread =
      std::thread([this, &entry, call = std::move(call), last] { Run(entry, call, last); });
}

void TTerminateNotifier::Run(TEntry& entry, const std::function<void()>& call, bool last) {
  if (last) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return open_calls_ == 0; });
  }
  try {
    call();
  } catch (const std::exception& e) {
    EngineLog(this, AV_LOG_ERROR, std::string("Error occurs OnTerminate: ") + e.what());
  } catch (...) {
    EngineLog(this, AV_LOG_ERROR, "Error occurs OnTerminate: unknown exception");
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (!last) --open_calls_;
  entry.done = true;
  changed_.notify_all();
}

// Joins the threads whose call has returned; they are about to end, if not ended yet.
void TTerminateNotifier::JoinEnded() {
  std::vector<std::thread> ended;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = entries_.begin(); it != entries_.end();) {
      if (!it->done) {
        ++it;
        continue;
      }
      ended.push_back(std::move(it->thread));
      it = entries_.erase(it);
    }
  }
  for (std::thread& thread : ended) thread.join();
}

void TTerminateNotifier::WaitIdle() {
  const auto all_done = [this] {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const TEntry& entry : entries_)
      if (!entry.done) return false;
    return true;
  };
  while (!WaitInSlices(all_done, std::chrono::hours(1))) {
  }
  JoinEnded();
}

}  // namespace kestrel
