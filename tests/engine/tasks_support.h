// Shared pieces of the task component tests: loaded libraries, a main-thread dispatcher
// run by the test thread, small media fixtures, and a record of the events that arrive.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/ffmpeg_tasks.h"
#include "medialib/library_loader.h"
#include "medialib/main_thread.h"
#include "tests/support/fixtures.h"

namespace kestrel::test {

// One second of 64x48 video and a tone.
inline std::string ShortClip() {
  return MakeFixture("tasks_clip.avi",
                     "-f lavfi -i testsrc=size=64x48:rate=25:duration=1 "
                     "-f lavfi -i sine=frequency=440:duration=1 -c:v mpeg4 -c:a mp2");
}
// Twenty seconds of the same, for runs that must still be going when the test acts.
inline std::string LongClip() {
  return MakeFixture("tasks_long.avi",
                     "-f lavfi -i testsrc=size=64x48:rate=25:duration=20 "
                     "-f lavfi -i sine=frequency=440:duration=20 -c:v mpeg4 -c:a mp2");
}
// Half a second of tone.
inline std::string ShortTone() {
  return MakeFixture("tasks_tone.wav", "-f lavfi -i sine=frequency=440:duration=0.5");
}

// An output record that converts to small MPEG-4 video and MP2 audio.
inline TOutputOptions SmallAvi() {
  TOutputOptions o;
  o.VideoCodec = "mpeg4";
  o.AudioCodec = "mp2";
  return o;
}

struct TSeenTerminate {
  TTerminateInfo info;
  std::thread::id thread;
};

// Everything the component's events delivered, in arrival order.
class TEventLog {
 public:
  void Attach(TCustomFFmpegTasks& tasks) {
    tasks.SetOnTerminate([this](TCustomFFmpegTasks&, const TTerminateInfo& info) {
      std::lock_guard<std::mutex> lock(mutex_);
      terminates_.push_back({info, std::this_thread::get_id()});
      if (info.TaskIndex == -1) ++ends_;
    });
  }
  std::vector<TSeenTerminate> Terminates() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return terminates_;
  }
  // The latest notification of task `index`.
  TTerminateInfo LastOf(int index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = terminates_.rbegin(); it != terminates_.rend(); ++it)
      if (it->info.TaskIndex == index) return it->info;
    ADD_FAILURE() << "no notification of task " << index;
    return {};
  }
  int Ends() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ends_;
  }
  // Waits (running the main thread's queued calls) for the end-of-run notification.
  bool WaitForEnd(std::chrono::seconds timeout = std::chrono::seconds(120)) const {
    return WaitInSlices([this] { return Ends() > 0; }, timeout);
  }

 private:
  mutable std::mutex mutex_;
  std::vector<TSeenTerminate> terminates_;
  int ends_ = 0;
};

class TasksTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(LoadLibs(kEngineLibs)) << LastError(); }

  void SetUp() override {
    SetMainThreadDispatcher(&main_thread_);
    tasks_ = std::make_unique<TFFmpegTasks>();
    events_.Attach(*tasks_);
  }
  void TearDown() override {
    tasks_.reset();  // waits while the dispatcher still runs the queued calls
    SetMainThreadDispatcher(nullptr);
  }

  // A fresh output path for this test.
  static std::string OutPath(const std::string& name) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string dir = TempDir() + "/" + info->test_suite_name() + "." + info->name();
    std::filesystem::create_directories(dir);
    return dir + "/" + name;
  }

  // Adds a task converting `input` into `output` with `record`; its index.
  int AddConversion(const std::string& input, const std::string& output,
                    TOutputOptions record = SmallAvi()) {
    const int index = tasks_->AddTask(input);
    EXPECT_GE(index, 0) << tasks_->LastErrMsg();
    if (index >= 0) {
      EXPECT_TRUE(tasks_->SetOutputFile(index, output, &record)) << tasks_->LastErrMsg();
    }
    return index;
  }

  TQueuedMainThread main_thread_;
  std::unique_ptr<TFFmpegTasks> tasks_;
  TEventLog events_;
};

}  // namespace kestrel::test
