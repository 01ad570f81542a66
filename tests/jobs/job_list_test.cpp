#include "jobs/job_list.h"

#include <gtest/gtest.h>

#include "tests/jobs/jobs_test_files.h"
#include "tests/support/fixtures.h"

namespace kestrel::jobs {
namespace {

constexpr const char* kVideoArgs = "-f lavfi -i testsrc=size=64x48:rate=10:duration=1 -c:v mpeg4";

class JobListTest : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = test::FreshTestFolder();
    settings_ = test::WriteIni(folder_, "settings.ini", "settings",
                               {{"OutPutDir", folder_ + "/out"}, {"FormatCode", "3"}});
    catalogue_ = test::WriteIni(folder_, "catalogue.ini", "formatInfo3", {{"FileExt", "mkv"}});
    for (const char* name : {"jobs_a.mp4", "jobs_b.avi", "jobs_c.mkv"}) {
      files_.push_back(test::MakeFixture(name, kVideoArgs));
      ASSERT_FALSE(files_.back().empty());
    }
  }

  TAddReport Add(const std::vector<std::string>& files) {
    return list_.Add(files, settings_, catalogue_, ProbeDurationWithAVProbe);
  }

  std::vector<std::string> Captions() const {
    std::vector<std::string> captions;
    for (int i = 0; i < list_.Count(); ++i) captions.push_back(list_.Row(i).Caption);
    return captions;
  }

  std::vector<bool> Checks() const {
    std::vector<bool> checks;
    for (int i = 0; i < list_.Count(); ++i) checks.push_back(list_.Row(i).Checked);
    return checks;
  }

  std::string folder_;
  settings::IniFile settings_{""};
  settings::IniFile catalogue_{""};
  std::vector<std::string> files_;
  TJobList list_;
};

// Folders, paths listed already (also within one selection) and files that do not open
// are skipped with their reason; the rest become checked rows.
TEST_F(JobListTest, AddSkipsWhatCannotBeConverted) {
  ASSERT_EQ(Add({files_[0]}).added, 1);
  const std::string missing = folder_ + "/missing.mp4";
  const TAddReport report = Add({files_[1], folder_, files_[0], files_[1], missing});

  EXPECT_EQ(report.added, 1);
  EXPECT_EQ(Captions(), (std::vector{files_[0], files_[1]}));
  ASSERT_EQ(report.skipped.size(), 4u);
  EXPECT_EQ(report.skipped[0].file, folder_);
  EXPECT_EQ(report.skipped[1].file, files_[0]);
  EXPECT_EQ(report.skipped[2].file, files_[1]);
  EXPECT_EQ(report.skipped[3].file, missing);
  EXPECT_FALSE(report.skipped[3].reason.empty());
  EXPECT_EQ(Checks(), (std::vector{true, true}));
  EXPECT_EQ(list_.Selected(), 0);
}

TEST_F(JobListTest, AddFillsRowAndRecord) {
  settings_.WriteString("formatInfo3", "paraZoom", "pan");
  const std::string clip = test::MakeFixture(
      "jobs_59_9s.wav", "-f lavfi -i sine=frequency=440:sample_rate=8000:duration=59.9 -ac 1");
  ASSERT_EQ(Add({files_[2], clip}).added, 2);

  const TJobRow& row = list_.Row(1);
  EXPECT_EQ(row.LengthText, "59");
  EXPECT_EQ(row.TrimmedLengthText, "59");
  EXPECT_EQ(row.DestFileText, "jobs_59_9s_(new).mkv");
  EXPECT_EQ(row.ProgressText, "");
  EXPECT_EQ(row.Record.SourceFile, clip);
  EXPECT_EQ(row.Record.DestFile, folder_ + "/out/jobs_59_9s_(new).mkv");
  EXPECT_EQ(row.Record.LengthSec, 59);
  EXPECT_EQ(row.Record.SelectionIndex, 1);
  EXPECT_EQ(row.Record.Zoom, "pan");
  EXPECT_EQ(list_.Row(0).LengthText, "1");
}

TEST_F(JobListTest, ZoomDefaultsToLetterbox) {
  ASSERT_EQ(Add({files_[0]}).added, 1);
  EXPECT_EQ(list_.Record(0).Zoom, "lbox");
}

// The row now at the removed position is selected, or the new last row.
TEST_F(JobListTest, RemoveSelectsTheNeighbour) {
  struct Case {
    int selected;
    std::vector<int> remaining;  // indexes into files_
    int selected_after;
  };
  for (const Case& c : {Case{2, {0, 1}, 1}, Case{1, {0, 2}, 1}, Case{0, {1, 2}, 0}}) {
    list_.Clear();
    ASSERT_EQ(Add(files_).added, 3);
    list_.Select(c.selected);
    ASSERT_TRUE(list_.Remove());
    std::vector<std::string> expected;
    for (int i : c.remaining) expected.push_back(files_[static_cast<size_t>(i)]);
    EXPECT_EQ(Captions(), expected) << "removing " << c.selected;
    EXPECT_EQ(list_.Selected(), c.selected_after) << "removing " << c.selected;
  }
}

TEST_F(JobListTest, RemoveNeedsASelectionAndEmptiesToNone) {
  ASSERT_EQ(Add({files_[0]}).added, 1);
  list_.Select(-1);
  EXPECT_FALSE(list_.Remove());
  EXPECT_EQ(list_.Count(), 1);
  list_.Select(0);
  EXPECT_TRUE(list_.Remove());
  EXPECT_TRUE(list_.Empty());
  EXPECT_EQ(list_.Selected(), -1);
  EXPECT_FALSE(list_.Remove());
}

TEST_F(JobListTest, CheckOperations) {
  ASSERT_EQ(Add(files_).added, 3);
  list_.Select(1);
  EXPECT_TRUE(list_.Uncheck());
  EXPECT_EQ(Checks(), (std::vector{true, false, true}));
  EXPECT_EQ(list_.CheckedRows(), (std::vector{0, 2}));
  list_.ReverseCheck();
  EXPECT_EQ(Checks(), (std::vector{false, true, false}));
  list_.CheckAll();
  EXPECT_EQ(Checks(), (std::vector{true, true, true}));
  list_.UncheckAll();
  EXPECT_EQ(list_.CheckedRows(), std::vector<int>{});
  EXPECT_TRUE(list_.Check());
  EXPECT_EQ(list_.CheckedRows(), std::vector{1});
  list_.Select(5);  // out of range: no selection
  EXPECT_FALSE(list_.Check());

  list_.Clear();
  EXPECT_TRUE(list_.Empty());
  EXPECT_EQ(list_.Selected(), -1);
}

}  // namespace
}  // namespace kestrel::jobs
