// Building tasks: properties, records, inputs, outputs, busy checks, probes.
#include <filesystem>

#include "tests/engine/tasks_support.h"

namespace kestrel::test {
namespace {

namespace fs = std::filesystem;
using TasksSetup = TasksTest;

TEST_F(TasksSetup, PropertiesStartAtTheirDefaultsAndTheIntervalIsClamped) {
  EXPECT_EQ(tasks_->Version(), "3.3");
  EXPECT_FALSE(tasks_->Preview());
  EXPECT_FALSE(tasks_->PreviewBitmap());
  EXPECT_EQ(tasks_->ProgressInterval(), 500);
  EXPECT_EQ(tasks_->ThreadPriority(), TThreadPriority::tpNormal);
  EXPECT_TRUE(tasks_->TriggerEventInMainThread());
  EXPECT_EQ(tasks_->TaskCount(), 0);
  const std::pair<int, int> intervals[] = {{50, 100}, {100, 100}, {101, 101}, {-3, 100}, {0, 100}};
  for (const auto& [set, read] : intervals) {
    tasks_->SetProgressInterval(set);
    EXPECT_EQ(tasks_->ProgressInterval(), read) << set;
  }
}

TEST_F(TasksSetup, RecordFileNamesWinOverTheArguments) {
  TInputOptions in;
  in.FileName = ShortClip();
  const int index = tasks_->AddTask(OutPath("no_such_input.avi"), &in);
  ASSERT_EQ(index, 0) << tasks_->LastErrMsg();
  ASSERT_NE(tasks_->TaskProbe(0, 0), nullptr);
  EXPECT_EQ(tasks_->TaskProbe(0, 0)->VideoStreamCount(), 1);

  TOutputOptions out = SmallAvi();
  out.FileName = OutPath("from_record.avi");
  ASSERT_TRUE(tasks_->SetOutputFile(0, OutPath("from_argument.avi"), &out)) << tasks_->LastErrMsg();
  // An empty record name takes the argument.
  TOutputOptions unnamed = SmallAvi();
  ASSERT_TRUE(tasks_->SetOutputFile(0, OutPath("second.avi"), &unnamed)) << tasks_->LastErrMsg();
  tasks_->StartTask(0);
  ASSERT_EQ(events_.Ends(), 1);
  EXPECT_TRUE(events_.LastOf(0).Finished) << events_.LastOf(0).ExceptionMsg;
  EXPECT_EQ(Ffprobe(OutPath("from_record.avi"))["streams.stream.0.codec_name"], "mpeg4");
  EXPECT_TRUE(fs::exists(OutPath("second.avi")));
  EXPECT_FALSE(fs::exists(OutPath("from_argument.avi")));
}

TEST_F(TasksSetup, BadInputsAndOutputsGiveErrorsNotExceptions) {
  EXPECT_EQ(tasks_->AddTask(OutPath("missing.avi")), -1);
  EXPECT_FALSE(tasks_->LastErrMsg().empty());
  TInputOptions bad_option;
  bad_option.ExtOptions = "ss=not a time";
  EXPECT_EQ(tasks_->AddTask(ShortClip(), &bad_option), -1);
  EXPECT_NE(tasks_->LastErrMsg().find("not a time"), std::string::npos) << tasks_->LastErrMsg();
  EXPECT_EQ(tasks_->TaskCount(), 0);

  ASSERT_EQ(tasks_->AddTask(ShortClip()), 0) << tasks_->LastErrMsg();
  TOutputOptions unknown_codec = SmallAvi();
  unknown_codec.VideoCodec = "no_such_encoder";
  EXPECT_FALSE(tasks_->SetOutputFile(0, OutPath("x.avi"), &unknown_codec));
  EXPECT_FALSE(tasks_->LastErrMsg().empty());
  EXPECT_FALSE(tasks_->SetOutputFile(7, OutPath("y.avi")));
  EXPECT_FALSE(tasks_->LastErrMsg().empty());
  EXPECT_THROW(tasks_->RemoveTask(3), std::out_of_range);
  EXPECT_EQ(tasks_->TaskProbe(3, 0), nullptr);
  EXPECT_EQ(tasks_->TaskProbe(0, 1), nullptr);
}

TEST_F(TasksSetup, TwentyFirstOutputIsRefusedAndChangesNothing) {
  ASSERT_EQ(tasks_->AddTask(ShortTone()), 0) << tasks_->LastErrMsg();
  TOutputOptions wav;
  for (int i = 0; i < 20; ++i)
    ASSERT_TRUE(tasks_->SetOutputFile(0, OutPath("out" + std::to_string(i) + ".wav"), &wav))
        << i << ": " << tasks_->LastErrMsg();
  EXPECT_FALSE(tasks_->SetOutputFile(0, OutPath("out20.wav"), &wav));
  EXPECT_EQ(tasks_->LastErrMsg(), "max output files 20 reached");
  tasks_->StartTask(0);
  ASSERT_EQ(events_.Ends(), 1);
  EXPECT_TRUE(events_.LastOf(0).Finished) << events_.LastOf(0).ExceptionMsg;
  for (int i = 0; i < 20; ++i)
    EXPECT_EQ(Ffprobe(OutPath("out" + std::to_string(i) + ".wav"))["streams.stream.0.codec_type"],
              "audio")
        << i;
  EXPECT_FALSE(fs::exists(OutPath("out20.wav")));
}

TEST_F(TasksSetup, FinishedRunRefusesChangesUntilCleared) {
  AddConversion(ShortClip(), OutPath("a.avi"));
  tasks_->StartTask(0);
  ASSERT_EQ(events_.Ends(), 1);
  struct TCase {
    const char* text;
    std::function<void()> action;
  };
  const TCase cases[] = {
      {"Cannot AddTask while working.", [&] { tasks_->AddTask(ShortClip()); }},
      {"Cannot SetOutputFile while working.", [&] { tasks_->SetOutputFile(0, OutPath("b.avi")); }},
      {"Cannot RemoveTask while working.", [&] { tasks_->RemoveTask(0); }},
      {"Cannot StartTask while working.", [&] { tasks_->StartTask(1); }},
  };
  for (const TCase& c : cases) {
    try {
      c.action();
      ADD_FAILURE() << c.text << " not raised";
    } catch (const TTasksBusyError& e) {
      EXPECT_STREQ(e.what(), c.text);
    }
  }
  EXPECT_EQ(tasks_->TaskCount(), 1);
  tasks_->ClearTasks();
  EXPECT_EQ(tasks_->TaskCount(), 0);
  EXPECT_TRUE(tasks_->LastErrMsg().empty());
  EXPECT_EQ(tasks_->AddTask(ShortClip()), 0) << tasks_->LastErrMsg();
}

// StartTask without tasks starts no run: nothing fires and nothing is refused later.
TEST_F(TasksSetup, StartingAnEmptyListLeavesTheComponentIdle) {
  tasks_->StartTask(1);
  tasks_->StartTask(0);
  EXPECT_FALSE(tasks_->Working());
  EXPECT_TRUE(events_.Terminates().empty());
  EXPECT_EQ(tasks_->AddTask(ShortClip()), 0) << tasks_->LastErrMsg();
}

TEST_F(TasksSetup, RemovedTasksMoveLaterOnesDownAndReportNothing) {
  ASSERT_EQ(tasks_->AddTask(ShortClip()), 0);
  ASSERT_EQ(tasks_->AddTask(ShortTone()), 1);
  ASSERT_EQ(tasks_->AddTask(ShortClip()), 2);
  tasks_->RemoveTask(0);
  ASSERT_EQ(tasks_->TaskCount(), 2);
  EXPECT_EQ(tasks_->TaskProbe(0, 0)->VideoStreamCount(), 0);  // the tone
  EXPECT_EQ(tasks_->TaskProbe(1, 0)->VideoStreamCount(), 1);
  tasks_->ClearTasks();
  EXPECT_EQ(tasks_->TaskCount(), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(events_.Terminates().empty());
}

TEST_F(TasksSetup, ComponentProbeProbesFiles) {
  ASSERT_TRUE(tasks_->AVProbe().LoadFile(ShortClip())) << tasks_->AVProbe().LastErrMsg();
  EXPECT_EQ(tasks_->AVProbe().AudioStreamCount(), 1);
  EXPECT_TRUE(tasks_->LoadAVLib(""));
}

// Extra lines that name codecs feed the streams added after the open, in line order.
TEST_F(TasksSetup, ExtraAudioStreamsTakeTheirCodecsInOrder) {
  ASSERT_EQ(tasks_->AddTask(ShortTone()), 0) << tasks_->LastErrMsg();
  TOutputOptions out;
  out.ExtOptions = "acodec=mp2\r\nnewaudio=\r\nacodec=ac3\r\nnewaudio=";
  ASSERT_TRUE(tasks_->SetOutputFile(0, OutPath("three.mkv"), &out)) << tasks_->LastErrMsg();
  tasks_->StartTask(0);
  ASSERT_EQ(events_.Ends(), 1);
  ASSERT_FALSE(events_.LastOf(0).Exception) << events_.LastOf(0).ExceptionMsg;
  auto probe = Ffprobe(OutPath("three.mkv"));
  EXPECT_EQ(probe["streams.stream.0.codec_name"], "mp2");
  EXPECT_EQ(probe["streams.stream.1.codec_name"], "mp2");
  EXPECT_EQ(probe["streams.stream.2.codec_name"], "ac3");
  EXPECT_EQ(probe.count("streams.stream.3.codec_name"), 0u);
}

TEST_F(TasksSetup, FilterLineIsTheDefaultChain) {
  struct TCase {
    const char* record_filters;
    const char* width;
  };
  const TCase cases[] = {{"", "32"}, {"scale=48:36", "48"}};
  for (const TCase& c : cases) {
    tasks_->ClearTasks();
    const std::string out_path = OutPath(std::string("filtered_") + c.width + ".avi");
    TOutputOptions out = SmallAvi();
    out.VideoFilters = c.record_filters;
    out.ExtOptions = "vfilters=scale=32:24";
    AddConversion(ShortClip(), out_path, out);
    tasks_->StartTask(0);
    ASSERT_TRUE(events_.LastOf(0).Finished) << c.width << events_.LastOf(0).ExceptionMsg;
    EXPECT_EQ(Ffprobe(out_path)["streams.stream.0.width"], c.width);
  }
}

}  // namespace
}  // namespace kestrel::test
