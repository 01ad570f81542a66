// Whole conversions through the jobs layer and the task component with the conversion
// hook installed as a run installs it; the ffmpeg command line decodes the outputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "effects/text_mark.h"
#include "engine/ffmpeg_tasks.h"
#include "jobs/frame_hook.h"
#include "jobs/job_list.h"
#include "jobs/run_plan.h"
#include "medialib/library_loader.h"
#include "medialib/main_thread.h"
#include "tests/effects/test_frame.h"
#include "tests/engine/tasks_support.h"
#include "tests/jobs/jobs_test_files.h"
#include "tests/support/fixtures.h"

namespace kestrel::jobs {
namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
// An AVI profile of the catalogue.
constexpr const char* kProfile = "1300";

// A smooth grey ramp, losslessly stored: marks are easy to find and a misplaced row or
// column shows.
std::string RampSource() {
  return test::MakeFixture("hook_ramp.mkv",
                           "-f lavfi -i nullsrc=size=320x240:rate=25:duration=0.4 "
                           "-vf geq=lum='60+X/5+Y/5':cb=128:cr=128,format=yuv420p -c:v ffv1");
}

// Sharp colour edges, losslessly stored: a round trip through 24-bit pixels cannot give
// them back exactly.
std::string PatternSource() {
  return test::MakeFixture("hook_pattern.mkv",
                           "-f lavfi -i testsrc=size=320x240:rate=25:duration=0.4 -c:v ffv1");
}

struct Rgb {
  int r = 0, g = 0, b = 0;
};

// Decoded pictures, top row first, 3 bytes per pixel in R, G, B order.
class DecodedVideo {
 public:
  explicit DecodedVideo(const std::string& path) {
    std::string raw;
    const int status = test::RunCommand("ffmpeg -nostdin -v error -i " + test::ShellQuote(path) +
                                            " -map 0:v:0 -f rawvideo -pix_fmt rgb24 -",
                                        &raw);
    EXPECT_EQ(status, 0) << path;
    EXPECT_EQ(raw.size() % kFrameBytes, 0u) << path;
    bytes_.assign(raw.begin(), raw.end());
  }

  int Frames() const { return static_cast<int>(bytes_.size() / kFrameBytes); }
  Rgb At(int frame, int x, int y) const {
    const size_t at = static_cast<size_t>(frame) * kFrameBytes +
                      (static_cast<size_t>(y) * kWidth + static_cast<size_t>(x)) * 3;
    return {bytes_[at], bytes_[at + 1], bytes_[at + 2]};
  }

 private:
  static constexpr size_t kFrameBytes = size_t{kWidth} * kHeight * 3;
  std::vector<std::uint8_t> bytes_;
};

int MaxChannelDifference(Rgb a, Rgb b) {
  return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
}

class HookConversion : public testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(LoadLibs(kEngineLibs)) << LastError(); }

  void SetUp() override {
    SetMainThreadDispatcher(&main_thread_);
    folder_ = test::FreshTestFolder();
    settings_ = settings::IniFile(folder_ + "/settings.ini");
    ASSERT_TRUE(settings_.WriteEntries(
        {{"settings", "OutPutDir", folder_ + "/out"}, {"settings", "FormatCode", kProfile}}))
        << settings_.LastErrMsg();
    // The profile's values as the format panel would store them, but with the lossless
    // encoder, the source's size and rate and no audio.
    const std::string section = std::string("formatInfo") + kProfile;
    ASSERT_TRUE(settings_.WriteEntries({{section, "paraVideoSize", "320x240"},
                                        {section, "paraVideoBitRate", "4000"},
                                        {section, "paraFrameRate", "25"},
                                        {section, "paraVideoEncoder", "rawvideo"},
                                        {section, "paraAudioEncoder", ""},
                                        {section, "paraVolume", "256"},
                                        {section, "paraZoom", "full"}}))
        << settings_.LastErrMsg();
  }
  void TearDown() override { SetMainThreadDispatcher(nullptr); }

  // Converts `source` as the only job of a list, its record edited by `edit`. Without the
  // hook the task gets the very same options but no hook. The output's path, "" on failure.
  std::string Convert(const std::string& source, const std::function<void(TlvFilesRecord&)>& edit,
                      bool hooked) {
    TJobList list;
    const TAddReport added = list.Add({source}, settings_, catalogue_);
    EXPECT_EQ(added.added, 1);
    if (added.added != 1) return "";
    edit(list.Record(0));

    TRunPlan plan = PrepareRun(list, {settings_, catalogue_, {}, {}});
    EXPECT_EQ(plan.error, "");
    EXPECT_EQ(plan.jobs.size(), 1u);
    if (plan.jobs.size() != 1) return "";
    TPreparedJob& job = plan.jobs[0];
    EXPECT_TRUE(job.output.CustomHook);
    job.output.CustomHook = hooked;

    auto tasks = std::make_unique<TFFmpegTasks>();
    test::TEventLog events;
    events.Attach(*tasks);
    if (hooked) {
      const TConversionHook hook(TaskRowsLookup(list, plan.TaskRows()));
      tasks->SetOnCustomHook([hook](TCustomFFmpegTasks&, PHookInfo info) { hook(*info); });
    }
    const int index = tasks->AddTask(job.input.FileName, &job.input);
    EXPECT_EQ(index, 0) << tasks->LastErrMsg();
    if (index != 0) return "";
    EXPECT_TRUE(tasks->SetOutputFile(index, job.destination, &job.output)) << tasks->LastErrMsg();
    tasks->StartTask(1);
    EXPECT_TRUE(events.WaitForEnd());
    tasks.reset();
    const TTerminateInfo end = events.LastOf(0);
    EXPECT_TRUE(end.Finished) << end.ExceptionMsg;
    EXPECT_FALSE(end.Exception) << end.ExceptionMsg;
    return end.Finished ? job.destination : "";
  }

  TQueuedMainThread main_thread_;
  std::string folder_;
  settings::IniFile settings_{""};
  const settings::IniFile catalogue_{std::string(KESTREL_SOURCE_DIR) +
                                     "/resources/kestrelxboxformat.ini"};
};

// A job that paints nothing must not touch its pictures: a round trip through 24-bit
// pixels would change them, and the lossless encoder keeps every change.
TEST_F(HookConversion, UneditedJobGivesThePicturesOfAConversionWithoutHook) {
  const std::string source = PatternSource();
  const auto unedited = [](TlvFilesRecord& r) { r.ProcessText = r.ProcessImage = true; };
  const std::string hooked = Convert(source, unedited, true);
  const std::string plain = Convert(source, unedited, false);
  ASSERT_NE(hooked, "");
  ASSERT_NE(plain, "");
  const std::vector<std::string> plain_sums = test::FrameChecksums(plain);
  EXPECT_EQ(plain_sums.size(), 10u);
  EXPECT_EQ(test::FrameChecksums(hooked), plain_sums);
}

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
  bool Contains(int px, int py, int margin = 0) const {
    return px >= x - margin && px < x + width + margin && py >= y - margin &&
           py < y + height + margin;
  }
};

// Colour edges are shared between neighbouring pixels by the 4:2:0 round trips.
constexpr int kEdge = 4;
// What two YUV to RGB conversions (the engine's, the decoder's) may disagree by.
constexpr int kRoundTrip = 2;

constexpr Rgb kMarkRed{255, 0, 0};
constexpr Rgb kMarkBlue{0, 0, 255};

constexpr Rect kImageMark{180, 40, 40, 30};
constexpr int kBrightness = 384;

// The brightness table of the colour pass for a level j (contrast 0, saturation 255
// keeps the grey levels of the ramp).
int Brightened(int level) {
  return std::clamp((256 + kBrightness * (level - 1)) / 256, 0, 255);
}

TTextBox TextBox() {
  return MeasureTextMark("HH", {"MS Sans Serif", 36, 0x000000FF, 1}, 40, 30);
}

struct MarkCase {
  const char* name;
  std::function<void(TlvFilesRecord&)> edit;
  // Where the job paints; outside (and off its edges) pictures are unchanged. A function:
  // text is measured only once the application is up.
  std::function<Rect()> painted;
  // Whether an output pixel carries the paint, given the same pixel without the hook.
  std::function<bool(Rgb plain, Rgb out)> carries_paint;
  int min_percent;  // of the pixels inside the painted rectangle, off its edges
};

void PrintTo(const MarkCase& c, std::ostream* os) {
  *os << c.name;
}

const MarkCase kMarkCases[] = {
    {"TextMark",
     [](TlvFilesRecord& r) {
       r.WaterText = "HH";
       r.WaterFont.Size = 36;
       r.WaterFont.Color = 0x000000FF;  // red
       r.WaterFont.Style = 1;           // bold
       r.TextX = 40;
       r.TextY = 30;
     },
     [] {
       const TTextBox box = TextBox();
       return Rect{box.x, box.y, box.width, box.height};
     },
     [](Rgb, Rgb out) { return MaxChannelDifference(out, kMarkRed) <= 40; }, 20},
    {"ImageMark",
     [](TlvFilesRecord& r) {
       r.WaterImage = test::WriteBmp("hook_conversion_mark.bmp", kImageMark.width,
                                     kImageMark.height, [](int, int) {
                                       return test::Bgr{255, 0, 0};
                                     });
       r.ImageX = kImageMark.x;
       r.ImageY = kImageMark.y;
       r.ImageAlpha = 256;
     },
     [] { return kImageMark; },
     [](Rgb, Rgb out) { return MaxChannelDifference(out, kMarkBlue) <= 8; }, 100},
    {"Brightness", [](TlvFilesRecord& r) { r.Brightness = kBrightness; },
     [] {
       return Rect{0, 0, kWidth, kHeight};
     },
     [](Rgb plain, Rgb out) {
       const Rgb expected{Brightened(plain.r), Brightened(plain.g), Brightened(plain.b)};
       // The table multiplies a level's rounding by 1.5.
       return MaxChannelDifference(out, expected) <= kRoundTrip + 1;
     },
     100},
};

class MarkedJob : public HookConversion, public testing::WithParamInterface<MarkCase> {};

TEST_P(MarkedJob, PaintsItsPlaceOfEveryPicture) {
  const MarkCase& mark = GetParam();
  const Rect area = mark.painted();
  const std::string source = RampSource();
  const std::string marked = Convert(source, mark.edit, true);
  const std::string plain = Convert(source, mark.edit, false);
  ASSERT_NE(marked, "");
  ASSERT_NE(plain, "");
  const DecodedVideo out(marked);
  const DecodedVideo reference(plain);
  ASSERT_EQ(reference.Frames(), 10);
  ASSERT_EQ(out.Frames(), reference.Frames());

  for (int frame = 0; frame < out.Frames(); ++frame) {
    int inside = 0, painted = 0, stray = 0;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const Rgb plain_px = reference.At(frame, x, y);
        const Rgb out_px = out.At(frame, x, y);
        if (!area.Contains(x, y, kEdge)) {
          if (MaxChannelDifference(plain_px, out_px) > kRoundTrip && ++stray <= 3) {
            ADD_FAILURE() << "frame " << frame << " changed at " << x << "," << y;
          }
        } else if (area.Contains(x, y, -kEdge)) {
          ++inside;
          painted += mark.carries_paint(plain_px, out_px);
        }
      }
    }
    EXPECT_EQ(stray, 0) << "frame " << frame;
    ASSERT_GT(inside, 0);
    EXPECT_GE(painted * 100, mark.min_percent * inside)
        << "frame " << frame << ": " << painted << " of " << inside;
  }
}

INSTANTIATE_TEST_SUITE_P(Edits, MarkedJob, testing::ValuesIn(kMarkCases),
                         [](const testing::TestParamInfo<MarkCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace kestrel::jobs
