#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <thread>

#include "engine/task_notifier.h"
#include "engine/task_thread_priority.h"
#include "medialib/main_thread.h"
#include "tests/engine/option_test_support.h"

namespace kestrel {
namespace {

TEST(TerminateNotifier, LastCallWaitsForEveryEarlierCall) {
  std::promise<void> gate;
  std::shared_future<void> opened = gate.get_future().share();
  std::atomic<int> earlier_done{0};
  std::atomic<int> seen_by_last{-1};
  std::atomic<bool> last_ran{false};
  {
    TTerminateNotifier notifier;
    for (int i = 0; i < 3; ++i)
      notifier.Dispatch(
          [&] {
            opened.wait();
            ++earlier_done;
          },
          false);
    notifier.Dispatch(
        [&] {
          seen_by_last = earlier_done.load();
          last_ran = true;
        },
        true);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(last_ran) << "the end-of-run call overtook the task calls";
    gate.set_value();
    notifier.WaitIdle();
  }
  EXPECT_EQ(seen_by_last, 3);
}

TEST(TerminateNotifier, CallsRunOnTheirOwnThreadsAndErrorsAreLogged) {
  test::TLogCapture log;
  std::atomic<int> ran{0};
  std::thread::id caller = std::this_thread::get_id();
  std::atomic<bool> on_caller{false};
  {
    TTerminateNotifier notifier;
    notifier.Dispatch([] { throw std::runtime_error("boom"); }, false);
    for (int i = 0; i < 20; ++i)
      notifier.Dispatch(
          [&] {
            if (std::this_thread::get_id() == caller) on_caller = true;
            ++ran;
          },
          false);
  }  // the destructor waits for them
  EXPECT_EQ(ran, 20);
  EXPECT_FALSE(on_caller);
  EXPECT_TRUE(log.Contains("Error occurs OnTerminate: boom"));
}

// A notification whose handler needs the main thread completes while the main thread
// waits for the notifier.
TEST(TerminateNotifier, WaitOnTheMainThreadRunsItsQueuedCalls) {
  TQueuedMainThread main_thread;
  SetMainThreadDispatcher(&main_thread);
  std::atomic<bool> ran_on_main{false};
  TTerminateNotifier notifier;
  notifier.Dispatch([&] { CallInMainThread([&] { ran_on_main = IsMainThread(); }); }, true);
  notifier.WaitIdle();
  SetMainThreadDispatcher(nullptr);
  EXPECT_TRUE(ran_on_main);
}

TEST(ThreadPriority, WorkerThreadsGetThePolicyAndNiceValue) {
  struct TCase {
    TThreadPriority priority;
    int policy;
    int nice;
  };
  const TCase cases[] = {
      {TThreadPriority::tpIdle, SCHED_IDLE, -1},    {TThreadPriority::tpLowest, SCHED_OTHER, 10},
      {TThreadPriority::tpLower, SCHED_OTHER, 5},   {TThreadPriority::tpNormal, SCHED_OTHER, 0},
      {TThreadPriority::tpHighest, SCHED_OTHER, 0},
  };
  const int base_nice = getpriority(PRIO_PROCESS, 0);
  for (const TCase& c : cases) {
    if (c.nice >= 0 && c.nice < base_nice) continue;  // cannot be lowered without privileges
    std::thread worker([&] {
      EXPECT_TRUE(ApplyThreadPriority(c.priority));
      int policy = -1;
      sched_param param{};
      pthread_getschedparam(pthread_self(), &policy, &param);
      EXPECT_EQ(policy, c.policy) << static_cast<int>(c.priority);
      if (c.nice >= 0) {
        EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid))), c.nice)
            << static_cast<int>(c.priority);
      }
    });
    worker.join();
  }
  // The calling thread kept its own priority.
  EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid))), base_nice);
}

}  // namespace
}  // namespace kestrel
