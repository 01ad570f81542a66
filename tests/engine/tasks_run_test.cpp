// Running tasks: scheduling, the threads events arrive on, stop, pause, and a stress run.
#include <algorithm>
#include <map>
#include <random>

#include "tests/engine/tasks_support.h"

namespace kestrel::test {
namespace {

using Clock = std::chrono::steady_clock;
using TasksRun = TasksTest;

// First and last hook call of each task.
class THookSpans {
 public:
  void Attach(TCustomFFmpegTasks& tasks, std::chrono::milliseconds per_frame) {
    tasks.SetOnCustomHook([this, per_frame](TCustomFFmpegTasks&, PHookInfo info) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        auto [it, fresh] = spans_.try_emplace(info->TaskIndex, Clock::now(), Clock::now());
        it->second.second = Clock::now();
        if (IsMainThread()) on_main_ = true;
        ++frames_;
      }
      std::this_thread::sleep_for(per_frame);
    });
  }
  std::map<int, std::pair<Clock::time_point, Clock::time_point>> Spans() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return spans_;
  }
  int Frames() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_;
  }
  bool OnMain() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return on_main_;
  }

 private:
  mutable std::mutex mutex_;
  std::map<int, std::pair<Clock::time_point, Clock::time_point>> spans_;
  int frames_ = 0;
  bool on_main_ = false;
};

TOutputOptions Hooked() {
  TOutputOptions o = SmallAvi();
  o.CustomHook = true;
  return o;
}

TEST_F(TasksRun, OneThreadRunsTasksOneAfterAnother) {
  THookSpans hooks;
  hooks.Attach(*tasks_, std::chrono::milliseconds(3));
  for (int i = 0; i < 3; ++i)
    AddConversion(ShortClip(), OutPath("out" + std::to_string(i) + ".avi"), Hooked());
  tasks_->StartTask(1);
  ASSERT_TRUE(events_.WaitForEnd());
  tasks_.reset();  // every notification has been handled

  const auto spans = hooks.Spans();
  ASSERT_EQ(spans.size(), 3u);
  for (int i = 1; i < 3; ++i)
    EXPECT_LT(spans.at(i - 1).second, spans.at(i).first) << "tasks " << i - 1 << " and " << i;
  EXPECT_FALSE(hooks.OnMain());

  const auto seen = events_.Terminates();
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen.back().info.TaskIndex, -1);
  EXPECT_TRUE(seen.back().info.Finished);
  EXPECT_FALSE(seen.back().info.Exception);
  std::vector<int> indexes;
  for (size_t i = 0; i < 3; ++i) {
    indexes.push_back(seen[i].info.TaskIndex);
    EXPECT_TRUE(seen[i].info.Finished) << seen[i].info.ExceptionMsg;
    EXPECT_FALSE(seen[i].info.Exception);
    EXPECT_NE(seen[i].thread, std::this_thread::get_id());
  }
  std::sort(indexes.begin(), indexes.end());
  EXPECT_EQ(indexes, (std::vector<int>{0, 1, 2}));
}

TEST_F(TasksRun, WithoutThreadsEverythingHappensInsideTheCall) {
  THookSpans hooks;
  hooks.Attach(*tasks_, std::chrono::milliseconds(0));
  AddConversion(ShortClip(), OutPath("a.avi"), Hooked());
  AddConversion(ShortClip(), OutPath("b.avi"), Hooked());
  tasks_->StartTask(0);
  const auto seen = events_.Terminates();
  ASSERT_EQ(seen.size(), 3u);
  const int order[] = {0, 1, -1};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(seen[i].info.TaskIndex, order[i]);
    EXPECT_TRUE(seen[i].info.Finished) << seen[i].info.ExceptionMsg;
    EXPECT_EQ(seen[i].thread, std::this_thread::get_id());
  }
  EXPECT_TRUE(hooks.OnMain());
  EXPECT_EQ(Ffprobe(OutPath("b.avi"))["streams.stream.0.codec_name"], "mpeg4");
}

TEST_F(TasksRun, TaskWithoutOutputEndsWithTheReason) {
  for (int threads : {1, 0}) {
    tasks_->ClearTasks();
    ASSERT_EQ(tasks_->AddTask(ShortClip()), 0) << tasks_->LastErrMsg();
    const size_t before = events_.Terminates().size();
    tasks_->StartTask(threads);
    ASSERT_TRUE(events_.WaitForEnd());
    ASSERT_TRUE(WaitInSlices([&] { return events_.Terminates().size() == before + 2; },
                             std::chrono::seconds(10)));
    const TTerminateInfo info = events_.LastOf(0);
    EXPECT_TRUE(info.Exception) << threads;
    EXPECT_FALSE(info.Finished);
    EXPECT_EQ(info.ExceptionMsg, "At least one output file must be specified");
    EXPECT_EQ(events_.Terminates().back().info.TaskIndex, -1);
  }
}

// The stop waits while the running task's progress events need the main thread.
TEST_F(TasksRun, StopBeforeTheSecondTaskStarted) {
  THookSpans hooks;
  hooks.Attach(*tasks_, std::chrono::milliseconds(2));
  std::atomic<int> progress{0};
  tasks_->SetOnProgress([&](TCustomFFmpegTasks&, PProgressInfo) { ++progress; });
  tasks_->SetProgressInterval(101);
  AddConversion(LongClip(), OutPath("long.avi"), Hooked());
  AddConversion(ShortClip(), OutPath("short.avi"), Hooked());
  tasks_->StartTask(1);
  ASSERT_TRUE(
      WaitInSlices([&] { return progress > 0 && hooks.Frames() > 10; }, std::chrono::seconds(60)));
  try {
    tasks_->ClearTasks();
    ADD_FAILURE() << "ClearTasks during a run";
  } catch (const TTasksBusyError& e) {
    EXPECT_STREQ(e.what(), "Cannot ClearTasks while working.");
  }
  tasks_->Stop(true);
  ASSERT_TRUE(events_.WaitForEnd(std::chrono::seconds(10)));
  tasks_.reset();

  const auto seen = events_.Terminates();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[2].info.TaskIndex, -1);
  for (int index : {0, 1}) {
    const TTerminateInfo info = events_.LastOf(index);
    EXPECT_FALSE(info.Finished) << index;
    EXPECT_FALSE(info.Exception) << index << info.ExceptionMsg;
  }
  EXPECT_EQ(hooks.Spans().count(1), 0u);
  // The stopped output is complete up to where it stopped.
  EXPECT_EQ(Ffprobe(OutPath("long.avi"))["streams.stream.0.codec_name"], "mpeg4");
}

// A handler of a run without threads that stops the run cannot wait for itself.
TEST_F(TasksRun, StopFromAHandlerOfARunWithoutThreads) {
  tasks_->SetOnProgress([&](TCustomFFmpegTasks& sender, PProgressInfo) { sender.Stop(true); });
  tasks_->SetProgressInterval(101);
  AddConversion(LongClip(), OutPath("long.avi"));
  AddConversion(ShortClip(), OutPath("short.avi"));
  tasks_->StartTask(0);
  ASSERT_TRUE(events_.WaitForEnd(std::chrono::seconds(30)));
  EXPECT_FALSE(events_.LastOf(0).Finished);
  EXPECT_FALSE(events_.LastOf(1).Finished);
  EXPECT_FALSE(events_.LastOf(1).Exception);
  EXPECT_EQ(events_.Terminates().back().info.TaskIndex, -1);
}

// Freeing a running component stops its tasks while their events still reach the main
// thread, and every notification is delivered before it is gone.
TEST_F(TasksRun, FreeingARunningComponentStopsAndWaits) {
  std::atomic<int> progress{0};
  tasks_->SetOnProgress([&](TCustomFFmpegTasks&, PProgressInfo) { ++progress; });
  tasks_->SetProgressInterval(101);
  AddConversion(LongClip(), OutPath("a.avi"));
  AddConversion(LongClip(), OutPath("b.avi"));
  AddConversion(ShortClip(), OutPath("c.avi"));
  tasks_->StartTask(2);
  ASSERT_TRUE(WaitInSlices([&] { return progress > 1; }, std::chrono::seconds(60)));
  tasks_.reset();
  const auto seen = events_.Terminates();
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen.back().info.TaskIndex, -1);
  EXPECT_EQ(Ffprobe(OutPath("a.avi"))["streams.stream.0.codec_name"], "mpeg4");
}

TEST_F(TasksRun, PausedTaskMakesNoProgressUntilResumed) {
  THookSpans hooks;
  hooks.Attach(*tasks_, std::chrono::milliseconds(1));
  AddConversion(LongClip(), OutPath("long.avi"), Hooked());
  tasks_->StartTask(1);
  ASSERT_TRUE(WaitInSlices([&] { return hooks.Frames() > 5; }, std::chrono::seconds(60)));
  tasks_->Pause();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the frame in hand ends
  const int held = hooks.Frames();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(hooks.Frames(), held);
  tasks_->Resume();
  ASSERT_TRUE(WaitInSlices([&] { return hooks.Frames() > held; }, std::chrono::seconds(60)));
  tasks_->Stop(true);
  ASSERT_TRUE(events_.WaitForEnd());
  EXPECT_FALSE(events_.LastOf(0).Finished);
}

class TasksEventThreads : public TasksTest, public ::testing::WithParamInterface<bool> {};

// Progress and preview come on the main thread exactly when asked to; the hook never does.
TEST_P(TasksEventThreads, FollowTheMainThreadSetting) {
  const bool in_main = GetParam();
  tasks_->SetTriggerEventInMainThread(in_main);
  THookSpans hooks;
  hooks.Attach(*tasks_, std::chrono::milliseconds(0));
  std::mutex mutex;
  std::vector<std::pair<int, bool>> progress;  // task index, on the main thread
  std::vector<TPreviewInfo> previews;
  bool preview_on_main = !in_main;
  tasks_->SetOnProgress([&](TCustomFFmpegTasks&, PProgressInfo info) {
    std::lock_guard<std::mutex> lock(mutex);
    progress.emplace_back(info->TaskIndex, IsMainThread());
  });
  tasks_->SetOnPreviewBitmap([&](TCustomFFmpegTasks&, const TPreviewInfo& info) {
    std::lock_guard<std::mutex> lock(mutex);
    previews.push_back(info);
    preview_on_main = IsMainThread();
  });
  TOutputOptions small = Hooked();
  small.FrameSize = "32x24";
  // The first task is switched on by the property, the second takes it when added.
  AddConversion(ShortClip(), OutPath("a.avi"), small);
  tasks_->SetPreviewBitmap(true);
  AddConversion(ShortClip(), OutPath("b.avi"), small);
  tasks_->StartTask(1);
  ASSERT_TRUE(events_.WaitForEnd());
  tasks_.reset();

  EXPECT_FALSE(hooks.OnMain());
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back().first, 1);
  for (const auto& [index, on_main] : progress) EXPECT_EQ(on_main, in_main) << index;
  ASSERT_FALSE(previews.empty());
  EXPECT_EQ(preview_on_main, in_main);
  EXPECT_EQ(previews.front().TaskIndex, 0);
  EXPECT_EQ(previews.back().TaskIndex, 1);
  EXPECT_EQ(previews.back().Bitmap.width, 32);
  EXPECT_EQ(previews.back().Bitmap.height, 24);
}

INSTANTIATE_TEST_SUITE_P(Delivery, TasksEventThreads, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "MainThread" : "Worker"; });

// Forty short tasks, two at a time, while the main thread pauses, resumes and finally
// stops them at random: each task ends exactly once, the end of the run comes once and
// last, and nothing waits forever.
TEST_F(TasksRun, RandomPauseResumeAndStopNeverLoseOrRepeatAnEvent) {
  constexpr int kTasks = 40;
  std::atomic<int> progress{0};
  tasks_->SetOnProgress([&](TCustomFFmpegTasks&, PProgressInfo) { ++progress; });
  tasks_->SetProgressInterval(101);
  THookSpans hooks;
  hooks.Attach(*tasks_, std::chrono::milliseconds(0));
  for (int i = 0; i < kTasks; ++i)
    AddConversion(i % 2 ? ShortClip() : ShortTone(),
                  OutPath("out" + std::to_string(i) + (i % 2 ? ".avi" : ".wav")),
                  i % 2 ? Hooked() : TOutputOptions{});
  std::mt19937 random(20091211);
  tasks_->StartTask(2);
  const auto stop_at = Clock::now() + std::chrono::milliseconds(300 + random() % 1500);
  while (events_.Ends() == 0 && Clock::now() < stop_at) {
    switch (random() % 3) {
      case 0:
        tasks_->Pause();
        break;
      case 1:
        tasks_->Resume();
        break;
      default:
        ProcessPendingCalls(std::chrono::milliseconds(random() % 20));
    }
    ProcessPendingCalls(std::chrono::milliseconds(random() % 10));
  }
  tasks_->Stop(random() % 2 == 0);
  tasks_->Resume();
  ASSERT_TRUE(events_.WaitForEnd(std::chrono::seconds(120)));
  tasks_.reset();

  const auto seen = events_.Terminates();
  ASSERT_EQ(seen.size(), static_cast<size_t>(kTasks + 1));
  EXPECT_EQ(seen.back().info.TaskIndex, -1);
  std::vector<int> count(kTasks, 0);
  for (size_t i = 0; i + 1 < seen.size(); ++i) {
    ASSERT_GE(seen[i].info.TaskIndex, 0);
    ASSERT_LT(seen[i].info.TaskIndex, kTasks);
    ++count[seen[i].info.TaskIndex];
    EXPECT_FALSE(seen[i].info.Exception) << seen[i].info.ExceptionMsg;
  }
  for (int i = 0; i < kTasks; ++i) EXPECT_EQ(count[i], 1) << "task " << i;
}

}  // namespace
}  // namespace kestrel::test
