#include "medialib/main_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace kestrel {
namespace {

using std::chrono::milliseconds;

TEST(QueuedMainThread, WorkerCallsRunOnTheMainThreadAndWait) {
  TQueuedMainThread main_thread;
  std::thread::id ran_on;
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    main_thread.CallInMainThread([&] { ran_on = std::this_thread::get_id(); });
    returned = true;
  });
  // The worker waits for the main thread, whatever time passes.
  std::this_thread::sleep_for(milliseconds(20));
  EXPECT_FALSE(returned);
  main_thread.RunUntil([&] { return returned.load(); });
  worker.join();
  EXPECT_EQ(ran_on, std::this_thread::get_id());
}

TEST(QueuedMainThread, MainThreadCallsRunDirectly) {
  TQueuedMainThread main_thread;
  int calls = 0;
  main_thread.CallInMainThread([&] {
    main_thread.CallInMainThread([&] { ++calls; });  // nested: still direct
    ++calls;
  });
  EXPECT_EQ(calls, 2);
  EXPECT_TRUE(main_thread.IsMainThread());
}

TEST(QueuedMainThread, ExceptionsReachTheWaitingCaller) {
  TQueuedMainThread main_thread;
  std::string error;
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    try {
      main_thread.CallInMainThread([] { throw std::runtime_error("handler failed"); });
    } catch (const std::runtime_error& e) {
      error = e.what();
    }
    returned = true;
  });
  main_thread.RunUntil([&] { return returned.load(); });
  worker.join();
  EXPECT_EQ(error, "handler failed");
}

TEST(QueuedMainThread, MainThreadWaitsKeepServingCalls) {
  TQueuedMainThread main_thread;
  SetMainThreadDispatcher(&main_thread);
  // A worker that needs the main thread before it can finish, and a main thread that
  // waits for the worker: the wait runs the worker's calls between its slices.
  std::atomic<bool> finished{false};
  int served = 0;
  std::thread worker([&] {
    for (int i = 0; i < 3; ++i) CallInMainThread([&] { ++served; });
    finished = true;
  });
  EXPECT_TRUE(WaitInSlices([&] { return finished.load(); }, milliseconds(10000)));
  worker.join();
  EXPECT_EQ(served, 3);
  EXPECT_FALSE(WaitInSlices([] { return false; }, milliseconds(20)));
  SetMainThreadDispatcher(nullptr);
}

TEST(QueuedMainThread, ClosingReleasesWaitingAndLaterCallers) {
  auto main_thread = std::make_unique<TQueuedMainThread>();
  TMainThreadDispatcher* const installed = main_thread.get();
  SetMainThreadDispatcher(installed);
  std::atomic<bool> queued_ran{false};
  std::thread waiting([&] { CallInMainThread([&] { queued_ran = true; }); });
  while (!queued_ran) {
    std::this_thread::sleep_for(milliseconds(1));
    main_thread->Close();  // runs what is queued; later calls run on their own thread
  }
  waiting.join();

  std::thread::id later_ran_on;
  std::thread after([&] { CallInMainThread([&] { later_ran_on = std::this_thread::get_id(); }); });
  const std::thread::id after_id = after.get_id();
  after.join();
  EXPECT_EQ(later_ran_on, after_id);

  main_thread.reset();  // uninstalls itself
  EXPECT_NE(&MainThreadDispatcher(), installed);
  int direct = 0;
  CallInMainThread([&] { ++direct; });
  EXPECT_EQ(direct, 1);
}

TEST(DirectDispatcher, CallsRunOneAtATime) {
  SetMainThreadDispatcher(nullptr);
  EXPECT_TRUE(IsMainThread());
  std::atomic<int> inside{0};
  std::atomic<int> overlaps{0};
  auto call = [&] {
    if (++inside > 1) ++overlaps;
    std::this_thread::sleep_for(milliseconds(2));
    --inside;
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      EXPECT_FALSE(IsMainThread());
      for (int i = 0; i < 5; ++i) CallInMainThread(call);
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(overlaps, 0);
}

}  // namespace
}  // namespace kestrel
