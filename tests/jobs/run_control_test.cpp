// The run control driving real conversions: which rows become tasks, where progress goes,
// trimming, cancelling, and the actions after the last job.
#include "jobs/run_control.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <sstream>

#include "medialib/library_loader.h"
#include "medialib/main_thread.h"
#include "tests/jobs/jobs_test_files.h"
#include "tests/support/fixtures.h"

namespace kestrel::jobs {
namespace {

using namespace std::chrono_literals;

std::string ShortClip(const std::string& name) {
  return test::MakeFixture(name,
                           "-f lavfi -i testsrc=size=64x48:rate=10:duration=1 "
                           "-f lavfi -i sine=frequency=440:duration=1 -c:v mpeg4 -c:a mp2");
}

// Twenty seconds whose luma is the frame number (10 frames a second), so a decoded
// picture tells which second of the source it shows.
std::string CountingClip() {
  return test::MakeFixture("run_counting.avi",
                           "-f lavfi -i \"color=c=black:s=64x48:r=10:d=20,"
                           "geq=lum='N':cb=128:cr=128\" "
                           "-f lavfi -i sine=frequency=440:duration=20 "
                           "-c:v mpeg4 -q:v 2 -g 10 -c:a mp2");
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The mean luma of the first and last decoded pictures of a file.
std::pair<double, double> FirstAndLastLuma(const std::string& path) {
  const std::string raw = test::TempDir() + "/run_control_luma.raw";
  EXPECT_EQ(test::RunCommand("ffmpeg -y -loglevel error -i " + test::ShellQuote(path) +
                             " -f rawvideo -pix_fmt gray " + test::ShellQuote(raw)),
            0);
  const std::string bytes = ReadText(raw);
  const size_t frame = 64 * 48;
  if (bytes.size() < frame) return {-1, -1};
  auto mean = [&](size_t offset) {
    double sum = 0;
    for (size_t i = 0; i < frame; ++i) sum += static_cast<unsigned char>(bytes[offset + i]);
    return sum / frame;
  };
  return {mean(0), mean(bytes.size() / frame * frame - frame)};
}

class RunControlTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(LoadLibs(kEngineLibs)) << LastError(); }

  void SetUp() override {
    SetMainThreadDispatcher(&main_thread_);
    folder_ = test::FreshTestFolder();
    settings_ = test::WriteIni(folder_, "settings.ini", "formatInfo7",
                               {{"paraVideoEncoder", "mpeg4"},
                                {"paraVideoSize", "64x48"},
                                {"paraVideoBitRate", "200"},
                                {"paraFrameRate", "as source"},
                                {"paraAudioEncoder", "mp2"},
                                {"paraSampleRate", "44100"},
                                {"paraAudioBitRate", "64"},
                                {"paraChannel", "2"},
                                {"paraVolume", "256"},
                                {"paraZoom", "full"}});
    settings_.WriteEntries(
        {{"settings", "OutPutDir", folder_ + "/out"}, {"settings", "FormatCode", "7"}});
    catalogue_ = test::WriteIni(folder_, "catalogue.ini", "formatInfo7",
                                {{"FileExt", "avi"}, {"Format", "avi"}});
    control_ = std::make_unique<TRunControl>(list_, settings_, catalogue_);
    control_->SetEvents(Recorder());
  }

  void TearDown() override {
    control_.reset();
    SetMainThreadDispatcher(nullptr);
  }

  TRunEvents Recorder() {
    TRunEvents events;
    events.message = [this](const std::string&, const std::string& text) {
      messages_.push_back(text);
    };
    events.left_out = [this](const TLeftOutJob& job) { left_out_.push_back(job.row); };
    events.progress = [this](int row, const TProgressInfo& info, const TProgressTexts&) {
      progress_rows_.push_back({info.TaskIndex, row});
    };
    events.job_ended = [this](int row, const TTerminateInfo& info) {
      ended_.push_back({row, info});
    };
    events.run_ended = [this] { ++run_ends_; };
    return events;
  }

  void AddFiles(const std::vector<std::string>& files) {
    ASSERT_EQ(list_.Add(files, settings_, catalogue_).added, static_cast<int>(files.size()));
  }

  bool WaitForRunEnd() {
    main_thread_.RunUntil([this] { return run_ends_ > 0; });
    return !control_->Running();
  }

  // Script that appends its arguments to a log, standing in for the system's commands.
  std::string PostActionScript() {
    const std::string script = folder_ + "/post_action.sh";
    std::ofstream(script) << "#!/bin/sh\necho \"$*\" >> '" << folder_ << "/post_actions.log'\n";
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    control_->SetPostActionCommands({script + " open", script + " shutdown"});
    control_->SetPostActions({true, true});
    return folder_ + "/post_actions.log";
  }

  TQueuedMainThread main_thread_;
  std::string folder_;
  settings::IniFile settings_{""};
  settings::IniFile catalogue_{""};
  TJobList list_;
  std::unique_ptr<TRunControl> control_;

  std::vector<std::string> messages_;
  std::vector<int> left_out_;
  std::vector<std::pair<int, int>> progress_rows_;  // task index, row
  std::vector<std::pair<int, TTerminateInfo>> ended_;
  int run_ends_ = 0;
};

// Row 1 is left out of the run either because its box is cleared or because its source
// has gone since it was added; either way task 1 is row 2.
class RunControlRowsTest : public RunControlTest, public testing::WithParamInterface<bool> {};

TEST_P(RunControlRowsTest, TasksFollowTheRowsThatAreConverted) {
  const bool source_gone = GetParam();
  {
    const std::string gone = folder_ + "/gone.avi";
    std::filesystem::copy_file(ShortClip("run_b.avi"), gone);
    AddFiles({ShortClip("run_a.avi"), gone, ShortClip("run_c.avi")});
    if (source_gone) {
      std::filesystem::remove(gone);
    } else {
      list_.Select(1);
      list_.Uncheck();
    }

    ASSERT_TRUE(control_->Start()) << control_->LastErrMsg();
    EXPECT_EQ(control_->TaskRows(), (std::vector{0, 2}));
    ASSERT_TRUE(WaitForRunEnd());

    EXPECT_EQ(left_out_, source_gone ? std::vector{1} : std::vector<int>{});
    ASSERT_EQ(ended_.size(), 2u);
    for (const auto& [row, info] : ended_) {
      EXPECT_TRUE(info.Finished) << info.ExceptionMsg;
      EXPECT_EQ(row, info.TaskIndex == 0 ? 0 : 2);
    }
    EXPECT_NE(std::find(progress_rows_.begin(), progress_rows_.end(), std::pair{1, 2}),
              progress_rows_.end());
    for (const auto& [task, row] : progress_rows_) EXPECT_EQ(row, task == 0 ? 0 : 2);
    EXPECT_EQ(list_.Row(0).ProgressText, "100%");
    EXPECT_EQ(list_.Row(1).ProgressText, "");
    EXPECT_EQ(list_.Row(2).ProgressText, "100%");
    EXPECT_EQ(control_->Tasks().TaskCount(), 0) << "the end of the run clears the tasks";
    EXPECT_EQ(test::Ffprobe(folder_ + "/out/run_c_(new).avi")["streams.stream.0.width"], "64");
  }
}
INSTANTIATE_TEST_SUITE_P(UncheckedOrGone, RunControlRowsTest, testing::Bool());

TEST_F(RunControlTest, TrimmedJobConvertsTheChosenSpan) {
  AddFiles({CountingClip()});
  list_.Record(0).TrimStart = 10000000;
  list_.Record(0).TrimLength = 5000000;
  ASSERT_TRUE(control_->Start()) << control_->LastErrMsg();
  ASSERT_TRUE(WaitForRunEnd());
  ASSERT_EQ(ended_.size(), 1u);
  EXPECT_TRUE(ended_[0].second.Finished) << ended_[0].second.ExceptionMsg;

  const std::string output = folder_ + "/out/run_counting_(new).avi";
  auto probe = test::Ffprobe(output);
  EXPECT_NEAR(std::stod(probe["format.duration"]), 5.0, 0.25);
  // Frame 100 (second 10) comes first, frame 149 last; mpeg4 keeps flat pictures close.
  // The source's luma is limited range, the decoded grey full range.
  auto grey = [](int frame) { return (frame - 16) * 255.0 / 219.0; };
  const auto [first, last] = FirstAndLastLuma(output);
  EXPECT_NEAR(first, grey(100), 3);
  EXPECT_NEAR(last, grey(149), 3);
}

TEST_F(RunControlTest, CancelDuringTheFirstJobRunsNoPostAction) {
  const std::string log = PostActionScript();
  const std::string long_clip =
      test::MakeFixture("run_long.avi",
                        "-f lavfi -i testsrc=size=64x48:rate=25:duration=120 "
                        "-f lavfi -i sine=frequency=440:duration=120 -c:v mpeg4 -c:a mp2");
  AddFiles({long_clip, ShortClip("run_a.avi")});
  control_->Tasks().SetProgressInterval(100);
  ASSERT_TRUE(control_->Start()) << control_->LastErrMsg();
  main_thread_.RunUntil([this] { return !progress_rows_.empty() || run_ends_ > 0; });
  ASSERT_EQ(run_ends_, 0) << "the first job ended before it could be cancelled";
  control_->Cancel();
  ASSERT_TRUE(WaitForRunEnd());

  EXPECT_TRUE(control_->Cancelled());
  ASSERT_EQ(ended_.size(), 2u);
  for (const auto& [row, info] : ended_) EXPECT_FALSE(info.Finished) << "row " << row;
  EXPECT_NE(list_.Row(0).ProgressText, "100%");
  EXPECT_FALSE(std::filesystem::exists(log)) << ReadText(log);
  // What was written is a complete file.
  EXPECT_FALSE(test::Ffprobe(folder_ + "/out/run_long_(new).avi").empty());
}

TEST_F(RunControlTest, LastJobOpensTheFolderThenShutsDown) {
  const std::string log = PostActionScript();
  std::vector<std::pair<std::string, int>> ran;
  TRunEvents events = Recorder();
  events.post_action = [&](const std::string& command, int status) {
    ran.push_back({command, status});
  };
  control_->SetEvents(events);
  AddFiles({ShortClip("run_a.avi"), ShortClip("run_b.avi")});
  control_->SetThreadCount(2);
  ASSERT_TRUE(control_->Start()) << control_->LastErrMsg();
  ASSERT_TRUE(WaitForRunEnd());

  EXPECT_EQ(ReadText(log), "open " + folder_ + "/out\nshutdown\n");
  ASSERT_EQ(ran.size(), 2u);
  EXPECT_EQ(ran[1].second, 0);

  // The end of the run left the component idle: the next Start converts again, into new
  // names, and ends with the post actions again.
  run_ends_ = 0;
  ASSERT_TRUE(control_->Start()) << control_->LastErrMsg();
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_TRUE(std::filesystem::exists(folder_ + "/out/run_b_(new_1).avi"));
  EXPECT_EQ(ran.size(), 4u);
}

TEST_F(RunControlTest, NothingStartsWithoutCheckedRowsOrWhenPreparingFails) {
  AddFiles({ShortClip("run_a.avi"), ShortClip("run_b.avi")});
  list_.UncheckAll();
  EXPECT_FALSE(control_->Start());
  EXPECT_EQ(messages_, std::vector<std::string>{kNoCheckedRowMessage});

  list_.CheckAll();
  settings_.WriteString("formatInfo7", "paraVolume", "loud");
  EXPECT_FALSE(control_->Start());
  EXPECT_EQ(control_->LastErrMsg(), "'loud' is not a valid integer value");
  EXPECT_EQ(control_->Tasks().TaskCount(), 0);
  EXPECT_FALSE(control_->Running());
  EXPECT_FALSE(std::filesystem::exists(folder_ + "/out/run_a_(new).avi"));

  settings_.WriteString("formatInfo7", "paraVolume", "256");
  control_->SetFrameSizeCheck([] { return false; });
  EXPECT_FALSE(control_->Start());
  EXPECT_EQ(control_->Tasks().TaskCount(), 0);
}

TEST(RunControlTexts, ProgressWindowTexts) {
  TProgressInfo info;
  info.TaskIndex = 1;
  info.CurrentDuration = 47'900'000;
  info.TotalDuration = 95'900'000;
  info.CurrentSize = 345'999;
  const TProgressTexts texts = ProgressTextsOf(info, 3, "/v/clip.avi");
  EXPECT_EQ(texts.percent, 49);
  EXPECT_EQ(texts.current_time, "47 Second");
  EXPECT_EQ(texts.length, "95 Second");
  EXPECT_EQ(texts.file_size, "345 kb");
  EXPECT_EQ(texts.progress, "[2/3]");
  EXPECT_EQ(texts.file, "/v/clip.avi");

  for (const std::int64_t total : {std::int64_t{0}, std::int64_t{-1}}) {
    info.TotalDuration = total;
    EXPECT_EQ(ProgressPercent(info), 0);
  }
}

TEST(RunControlTexts, LongCaptionsKeepTheirStartAndExtension) {
  const std::string fifty(46, 'a');
  EXPECT_EQ(ShortCaption(fifty + ".avi"), fifty + ".avi");  // 50 characters
  const std::string long_name = "/" + std::string(60, 'b') + ".mkv";
  EXPECT_EQ(ShortCaption(long_name), long_name.substr(0, 44) + "...mkv");
  const std::string no_ext = "/" + std::string(40, 'c') + ".d/" + std::string(20, 'e');
  EXPECT_EQ(ShortCaption(no_ext), no_ext.substr(0, 44) + "..");
}

TEST(RunControlTexts, PrioritySetting) {
  EXPECT_EQ(ThreadPriorityOf(0), TThreadPriority::tpIdle);
  EXPECT_EQ(ThreadPriorityOf(1), TThreadPriority::tpNormal);
  EXPECT_EQ(ThreadPriorityOf(2), TThreadPriority::tpLower);
  EXPECT_EQ(ThreadPriorityOf(3), TThreadPriority::tpLowest);
  EXPECT_EQ(ThreadPriorityOf(4), std::nullopt);
  EXPECT_EQ(ThreadPriorityOf(-1), std::nullopt);
}

}  // namespace
}  // namespace kestrel::jobs
