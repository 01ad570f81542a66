// The main-thread dispatcher: runs a call on the host's main thread and waits for it.
//
// Event handlers that a host marks as main-thread handlers are run through
// CallInMainThread. A host installs its dispatcher once (the windowed host a queued call
// into its event loop, a command-line host a TQueuedMainThread or none); until then calls
// run directly on the calling thread, one at a time. Every wait on the main thread keeps
// running the queued calls between its slices (WaitInSlices), or a worker waiting in
// CallInMainThread and the main thread waiting for that worker would block each other.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace kestrel {

class TMainThreadDispatcher {
 public:
  virtual ~TMainThreadDispatcher() = default;

  // True on the thread that runs the host's main loop.
  virtual bool IsMainThread() const = 0;
  // Runs call on the main thread and returns once it has run; on the main thread it runs
  // directly. An exception thrown by call is rethrown to the caller.
  virtual void CallInMainThread(const std::function<void()>& call) = 0;
  // On the main thread: runs the calls that are waiting (and the host's own events),
  // waiting up to max_wait for one when none is there. Elsewhere it only sleeps max_wait.
  virtual void ProcessPendingCalls(std::chrono::milliseconds max_wait) = 0;
};

// Installs the host's dispatcher (nullptr goes back to direct calls). The host keeps it
// alive while installed and installs it before starting the threads that use it.
void SetMainThreadDispatcher(TMainThreadDispatcher* dispatcher);
TMainThreadDispatcher& MainThreadDispatcher();

// Shorthands for the installed dispatcher.
bool IsMainThread();
void CallInMainThread(const std::function<void()>& call);
void ProcessPendingCalls(std::chrono::milliseconds max_wait = std::chrono::milliseconds(0));

// Waits until done() is true or timeout has passed, in slices; on the main thread the
// waiting calls run between slices. Returns done()'s last answer.
bool WaitInSlices(const std::function<bool()>& done, std::chrono::milliseconds timeout,
                  std::chrono::milliseconds slice = std::chrono::milliseconds(5));

// A dispatcher for hosts without a window system. The thread that creates it is the main
// thread; other threads queue their calls and wait until the main thread runs them in
// ProcessPendingCalls, WaitInSlices or RunUntil.
class TQueuedMainThread : public TMainThreadDispatcher {
 public:
  TQueuedMainThread();
  // Closes (see Close) and uninstalls itself when installed.
  ~TQueuedMainThread() override;
  TQueuedMainThread(const TQueuedMainThread&) = delete;
  TQueuedMainThread& operator=(const TQueuedMainThread&) = delete;

  bool IsMainThread() const override;
  void CallInMainThread(const std::function<void()>& call) override;
  void ProcessPendingCalls(std::chrono::milliseconds max_wait) override;

  // A host's main loop: runs the calls as they arrive until done() is true.
  void RunUntil(const std::function<bool()>& done,
                std::chrono::milliseconds slice = std::chrono::milliseconds(5));

  // Ends the queue when the main loop stops for good: the waiting calls run now, and
  // later calls run on their own thread (one at a time) instead of waiting forever.
  void Close();

 private:
  struct Request;
  void RunRequests(std::unique_lock<std::mutex>& lock);

  const std::thread::id main_thread_;
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<Request*> queue_;         // guarded by mutex_
  bool closed_ = false;                // guarded by mutex_
  std::recursive_mutex direct_calls_;  // serialises calls after Close
};

}  // namespace kestrel
