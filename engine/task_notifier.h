// Runs each terminate notification on a short-lived thread of its own, so the thread that
// reports an ending task neither waits for the host's handler nor is blocked by it.
#pragma once

#include <condition_variable>
#include <functional>
#include <list>
#include <mutex>
#include <thread>

namespace kestrel {

class TTerminateNotifier {
 public:
  TTerminateNotifier() = default;
  // Waits for the notifications still running (see WaitIdle).
  ~TTerminateNotifier();
  TTerminateNotifier(const TTerminateNotifier&) = delete;
  TTerminateNotifier& operator=(const TTerminateNotifier&) = delete;

  // Starts `call` on a new thread. A `last` call waits until every call dispatched before
  // it has returned, so its handler runs after theirs. An exception thrown by a call is
  // logged with the name of the event.
  void Dispatch(std::function<void()> call, bool last);
  // Returns when every dispatched call has returned and its thread ended; on the main
  // thread the queued main-thread calls keep running meanwhile.
  void WaitIdle();

 private:
  struct TEntry {
    std::thread thread;
    bool done = false;  // guarded by mutex_
  };
  void Run(TEntry& entry, const std::function<void()>& call, bool last);
  void JoinEnded();

  std::mutex mutex_;
  std::condition_variable changed_;
  int open_calls_ = 0;         // calls not marked last still to return; guarded by mutex_
  std::list<TEntry> entries_;  // guarded by mutex_
};

}  // namespace kestrel
