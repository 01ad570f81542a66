#include "jobs/run_plan.h"

#include <gtest/gtest.h>

#include "tests/jobs/jobs_test_files.h"
#include "tests/support/fixtures.h"

namespace kestrel::jobs {
namespace {

constexpr const char* kVideoArgs = "-f lavfi -i testsrc=size=64x48:rate=10:duration=1 -c:v mpeg4";

class RunPlanTest : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = test::FreshTestFolder();
    settings_ = test::WriteIni(
        folder_, "settings.ini", "formatInfo3",
        {{"paraVideoEncoder", "mpeg4"}, {"paraVideoSize", "320x240"}, {"paraZoom", "full"}});
    settings_.WriteEntries(
        {{"settings", "OutPutDir", folder_ + "/out"}, {"settings", "FormatCode", "3"}});
    catalogue_ = test::WriteIni(folder_, "catalogue.ini", "formatInfo3",
                                {{"FileExt", "mkv"}, {"Format", "avi"}});
  }

  TRunPlan Prepare(const TSourceLoader& loader) {
    return PrepareRun(list_, {settings_, catalogue_, loader, {}});
  }

  std::string folder_;
  settings::IniFile settings_{""};
  settings::IniFile catalogue_{""};
  TJobList list_;
};

TSourceProbe FakeSource(const std::string& file_name) {
  if (file_name.find("gone") != std::string::npos)
    return {false, "cannot open " + file_name, "", "", {}};
  return {true, "", file_name, "avi", {1, 320, 240, 0}};
}

TProbeResult FakeDuration(const std::string&) {
  return {true, 1000000, ""};
}

TEST_F(RunPlanTest, CheckedRowsBecomeTasksInListOrder) {
  std::vector<std::string> files;
  for (const char* name : {"jobs_a.mp4", "jobs_b.avi", "jobs_c.mkv"}) {
    files.push_back(test::MakeFixture(name, kVideoArgs));
  }
  ASSERT_EQ(list_.Add(files, settings_, catalogue_).added, 3);
  list_.Select(1);
  list_.Uncheck();
  list_.Record(1).Zoom = "pan";
  list_.Record(2).Zoom = "center";
  list_.Record(2).TrimStart = 10000000;
  list_.Record(2).TrimLength = 5000000;

  const TRunPlan plan = Prepare({});
  ASSERT_EQ(plan.error, "");
  EXPECT_EQ(plan.TaskRows(), (std::vector{0, 2}));
  ASSERT_EQ(plan.jobs.size(), 2u);

  const TPreparedJob& first = plan.jobs[0];
  EXPECT_EQ(first.input.FileName, files[0]);
  EXPECT_EQ(first.input.FileFormat, "mov,mp4,m4a,3gp,3g2,mj2");
  EXPECT_EQ(first.input.StartTime, 0);
  EXPECT_EQ(first.destination, folder_ + "/out/jobs_a_(new).mkv");
  EXPECT_EQ(first.output.FileName, first.destination);
  EXPECT_EQ(first.output.RecordingTime, kNoTimestamp);
  EXPECT_TRUE(first.output.CustomHook);
  EXPECT_EQ(first.output.FileFormat, "avi");
  EXPECT_EQ(first.output.FrameSize, "320x240");

  const TPreparedJob& last = plan.jobs[1];
  EXPECT_EQ(last.input.FileFormat, "matroska,webm");
  EXPECT_EQ(last.input.StartTime, 10000000);
  EXPECT_EQ(last.output.RecordingTime, 5000000);
  EXPECT_EQ(last.output.VideoFilters, "");  // the profile's "full", not the record's "center"
  EXPECT_TRUE(last.output.CustomHook);

  EXPECT_EQ(list_.Record(2).Zoom, "full");
  EXPECT_EQ(list_.Record(1).Zoom, "pan");  // unchecked rows are left alone
}

// Two sources of the same name in different folders must not share a destination: the
// first output does not exist yet when the second name is made.
TEST_F(RunPlanTest, DestinationsOfOneRunDiffer) {
  ASSERT_EQ(list_.Add({"/a/movie.avi", "/b/movie.avi"}, settings_, catalogue_, FakeDuration).added,
            2);
  const TRunPlan plan = Prepare(FakeSource);
  ASSERT_EQ(plan.jobs.size(), 2u);
  EXPECT_EQ(plan.jobs[0].destination, folder_ + "/out/movie_(new).mkv");
  EXPECT_EQ(plan.jobs[1].destination, folder_ + "/out/movie_(new_1).mkv");
}

// A source that no longer opens is skipped and TaskRows stays in step with the tasks.
TEST_F(RunPlanTest, SourceThatNoLongerOpensIsSkipped) {
  ASSERT_EQ(
      list_.Add({"/a/one.avi", "/a/gone.avi", "/a/three.avi"}, settings_, catalogue_, FakeDuration)
          .added,
      3);
  const TRunPlan plan = Prepare(FakeSource);
  EXPECT_EQ(plan.error, "");
  EXPECT_EQ(plan.TaskRows(), (std::vector{0, 2}));
  ASSERT_EQ(plan.skipped.size(), 1u);
  EXPECT_EQ(plan.skipped[0].row, 1);
  EXPECT_EQ(plan.skipped[0].reason, "cannot open /a/gone.avi");
}

TEST_F(RunPlanTest, ProfileValueThatCannotBeReadStartsNothing) {
  settings_.WriteString("formatInfo3", "paraVolume", "loud");
  ASSERT_EQ(list_.Add({"/a/one.avi", "/a/two.avi"}, settings_, catalogue_, FakeDuration).added, 2);
  const TRunPlan plan = Prepare(FakeSource);
  EXPECT_EQ(plan.error, "'loud' is not a valid integer value");
  EXPECT_TRUE(plan.jobs.empty());
}

}  // namespace
}  // namespace kestrel::jobs
