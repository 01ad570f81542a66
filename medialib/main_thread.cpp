#include "medialib/main_thread.h"

#include <atomic>
#include <exception>

#include <sys/syscall.h>
#include <unistd.h>

namespace kestrel {
namespace {

// Before a host installs its dispatcher: calls run on the calling thread, one at a time
// (handlers written for the main thread never run concurrently). The main thread is the
// process's first thread.
class TDirectDispatcher : public TMainThreadDispatcher {
 public:
  bool IsMainThread() const override { return syscall(SYS_gettid) == getpid(); }
  void CallInMainThread(const std::function<void()>& call) override {
    std::lock_guard<std::recursive_mutex> hold(calls_);
    call();
  }
  void ProcessPendingCalls(std::chrono::milliseconds max_wait) override {
    std::this_thread::sleep_for(max_wait);
  }

 private:
  std::recursive_mutex calls_;
};

TDirectDispatcher& DirectDispatcher() {
  static TDirectDispatcher* direct = new TDirectDispatcher;  // lives as long as the process
  return *direct;
}

std::atomic<TMainThreadDispatcher*> installed{nullptr};

}  // namespace

void SetMainThreadDispatcher(TMainThreadDispatcher* dispatcher) {
  installed = dispatcher;
}

TMainThreadDispatcher& MainThreadDispatcher() {
  TMainThreadDispatcher* dispatcher = installed;
  return dispatcher ? *dispatcher : DirectDispatcher();
}

bool IsMainThread() {
  return MainThreadDispatcher().IsMainThread();
}
void CallInMainThread(const std::function<void()>& call) {
  MainThreadDispatcher().CallInMainThread(call);
}
void ProcessPendingCalls(std::chrono::milliseconds max_wait) {
  MainThreadDispatcher().ProcessPendingCalls(max_wait);
}

bool WaitInSlices(const std::function<bool()>& done, std::chrono::milliseconds timeout,
                  std::chrono::milliseconds slice) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left <= std::chrono::milliseconds(0)) return done();
    MainThreadDispatcher().ProcessPendingCalls(std::min(slice, left));
  }
  return true;
}

struct TQueuedMainThread::Request {
  const std::function<void()>* call;
  std::exception_ptr error;
  bool finished = false;  // guarded by mutex_
};

TQueuedMainThread::TQueuedMainThread() : main_thread_(std::this_thread::get_id()) {}

TQueuedMainThread::~TQueuedMainThread() {
  TMainThreadDispatcher* self = this;
  installed.compare_exchange_strong(self, nullptr);
  Close();
}

bool TQueuedMainThread::IsMainThread() const {
  return std::this_thread::get_id() == main_thread_;
}

void TQueuedMainThread::CallInMainThread(const std::function<void()>& call) {
  if (IsMainThread()) {
    call();
    return;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  if (closed_) {
    lock.unlock();
    std::lock_guard<std::recursive_mutex> hold(direct_calls_);
    call();
    return;
  }
  Request request{&call, nullptr};
  queue_.push_back(&request);
  arrived_.notify_all();
  arrived_.wait(lock, [&] { return request.finished; });
  if (request.error) std::rethrow_exception(request.error);
}

// Runs every queued request; called on the main thread with mutex_ held.
void TQueuedMainThread::RunRequests(std::unique_lock<std::mutex>& lock) {
  while (!queue_.empty()) {
    Request* request = queue_.front();
    queue_.pop_front();
    lock.unlock();
    try {
      (*request->call)();
    } catch (...) {
      request->error = std::current_exception();
    }
    lock.lock();
    request->finished = true;
    arrived_.notify_all();
  }
}

void TQueuedMainThread::ProcessPendingCalls(std::chrono::milliseconds max_wait) {
  if (!IsMainThread()) {
    std::this_thread::sleep_for(max_wait);
    return;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  if (queue_.empty() && max_wait.count() > 0) {
    arrived_.wait_for(lock, max_wait, [&] { return !queue_.empty(); });
  }
  RunRequests(lock);
}

void TQueuedMainThread::RunUntil(const std::function<bool()>& done,
                                 std::chrono::milliseconds slice) {
  while (!done()) ProcessPendingCalls(slice);
}

void TQueuedMainThread::Close() {
  std::unique_lock<std::mutex> lock(mutex_);
  closed_ = true;
  RunRequests(lock);
}

}  // namespace kestrel
