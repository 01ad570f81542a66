// A manual-reset event: stays set until cleared, wakes every waiter when set.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace kestrel {

class ManualResetEvent {
 public:
  explicit ManualResetEvent(bool initially_set) : set_(initially_set) {}

  void Set() {
    std::lock_guard lock(mutex_);
    set_ = true;
    cond_.notify_all();
  }
  void Reset() {
    std::lock_guard lock(mutex_);
    set_ = false;
  }
  bool IsSet() const {
    std::lock_guard lock(mutex_);
    return set_;
  }
  // True when the event was set within the time.
  bool WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return cond_.wait_for(lock, timeout, [this] { return set_; });
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable cond_;
  bool set_;  // guarded by mutex_
};

}  // namespace kestrel
