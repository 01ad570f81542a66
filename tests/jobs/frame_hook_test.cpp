#include "jobs/frame_hook.h"

#include <gtest/gtest.h>

#include <ostream>

#include <filesystem>
#include <functional>

#include "effects/text_mark.h"
#include "jobs/job_list.h"
#include "tests/effects/test_frame.h"
#include "tests/jobs/jobs_test_files.h"

namespace kestrel::jobs {
namespace {

using test::Bgr;
using test::TestFrame;

constexpr Bgr kGrey{100, 100, 100};

// A bottom-up picture with row padding, as decoders hand them over.
TestFrame GreyFrame() {
  TestFrame frame(96, 64, 5, true);
  frame.Fill(kGrey);
  return frame;
}

THookInfo HookInfoFor(TestFrame& frame, int task_index = 0) {
  const TBgrFrame f = frame.Frame();
  THookInfo info;
  info.TaskIndex = task_index;
  info.Bitmap = TFramePicture{f.data, f.width, f.height, f.stride};
  return info;
}

THookInfo RunHook(const TlvFilesRecord& record, TestFrame& frame) {
  const TConversionHook hook([&](int) { return &record; });
  THookInfo info = HookInfoFor(frame);
  hook(info);
  return info;
}

TEST(ConversionHook, JobWithoutEffectsLeavesPicturesToTheEngine) {
  TlvFilesRecord record;
  record.ProcessText = true;  // order flags alone paint nothing
  record.CropLeft = 8;        // the crop is the engine's, not drawn
  TestFrame frame = GreyFrame();
  const THookInfo info = RunHook(record, frame);
  EXPECT_FALSE(info.Update);
  EXPECT_TRUE(info.StopHook);
  EXPECT_EQ(frame.Pixels(), GreyFrame().Pixels());
}

struct PaintCase {
  const char* name;
  std::function<void(TlvFilesRecord&)> edit;
  // Whether pixel (x, y) may change, and whether it must.
  std::function<bool(int x, int y)> may_change;
  std::function<bool(int x, int y)> must_change;
};

// Test listings name the case rather than dump its bytes.
void PrintTo(const PaintCase& c, std::ostream* os) {
  *os << c.name;
}

const PaintCase kPaintCases[] = {
    {"Brightness", [](TlvFilesRecord& r) { r.Brightness = 400; }, [](int, int) { return true; },
     [](int, int) { return true; }},
    {"Exposure", [](TlvFilesRecord& r) { r.Exposure = 100; }, [](int, int) { return true; },
     [](int, int) { return true; }},
    {"ImageMark",
     [](TlvFilesRecord& r) {
       r.WaterImage = test::WriteBmp("hook_mark.bmp", 8, 6, [](int, int) {
         return Bgr{0, 0, 255};
       });
       r.ImageX = 30;
       r.ImageY = 20;
       r.ImageAlpha = 256;
     },
     [](int x, int y) { return x >= 30 && x < 38 && y >= 20 && y < 26; },
     [](int x, int y) { return x >= 30 && x < 38 && y >= 20 && y < 26; }},
    {"TextMark",
     [](TlvFilesRecord& r) {
       r.WaterText = "HH";
       r.WaterFont.Size = 14;
       r.WaterFont.Color = 0x00FFFFFF;
       r.TextX = 20;
       r.TextY = 10;
     },
     [](int x, int y) {
       const TTextBox box = MeasureTextMark("HH", {"MS Sans Serif", 14, 0x00FFFFFF, 0}, 20, 10);
       return x >= box.x && x < box.x + box.width && y >= box.y && y < box.y + box.height;
     },
     [](int, int) { return false; }},
};

class ConversionHookPaints : public testing::TestWithParam<PaintCase> {};

TEST_P(ConversionHookPaints, AtTheJobsPlace) {
  TlvFilesRecord record;
  GetParam().edit(record);
  TestFrame frame = GreyFrame();
  const THookInfo info = RunHook(record, frame);
  EXPECT_TRUE(info.Update);
  EXPECT_FALSE(info.StopHook);

  int changed = 0;
  for (int y = 0; y < frame.height(); ++y) {
    for (int x = 0; x < frame.width(); ++x) {
      const bool differs = !(frame.At(x, y) == kGrey);
      changed += differs;
      if (differs) {
        EXPECT_TRUE(GetParam().may_change(x, y)) << x << "," << y;
      }
      if (GetParam().must_change(x, y)) {
        EXPECT_TRUE(differs) << x << "," << y;
      }
    }
  }
  EXPECT_GT(changed, 10);
  EXPECT_TRUE(frame.PaddingIntact());
}

INSTANTIATE_TEST_SUITE_P(Effects, ConversionHookPaints, testing::ValuesIn(kPaintCases),
                         [](const testing::TestParamInfo<PaintCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(ConversionHook, UnreadableMarkLeavesThePictureAndThrows) {
  TlvFilesRecord record;
  record.WaterImage = test::FreshTestFolder() + "/missing.bmp";
  record.Brightness = 400;
  TestFrame frame = GreyFrame();
  EXPECT_THROW(RunHook(record, frame), TEffectsError);
  EXPECT_EQ(frame.Pixels(), GreyFrame().Pixels());
}

// Marks are decoded once, but a file changed or removed during a run is seen at once.
TEST(ConversionHook, SeesTheMarkFileAsItIsNow) {
  TlvFilesRecord record;
  const auto write_mark = [](Bgr colour) {
    return test::WriteBmp("hook_changing.bmp", 4, 4, [=](int, int) { return colour; });
  };
  record.WaterImage = write_mark({0, 0, 255});
  record.ImageAlpha = 256;
  const TConversionHook hook([&](int) { return &record; });

  for (const Bgr colour : {Bgr{0, 0, 255}, Bgr{255, 0, 0}}) {
    write_mark(colour);
    TestFrame frame = GreyFrame();
    THookInfo info = HookInfoFor(frame);
    hook(info);
    EXPECT_EQ(frame.At(1, 1), colour);
    EXPECT_EQ(frame.At(5, 5), kGrey);
  }
  std::filesystem::remove(record.WaterImage);
  TestFrame frame = GreyFrame();
  THookInfo info = HookInfoFor(frame);
  EXPECT_THROW(hook(info), TEffectsError);
}

// Task k paints the record of row TaskRows[k]; a task without a row is an error.
TEST(ConversionHook, FollowsTaskRows) {
  const std::string folder = test::FreshTestFolder();
  settings::IniFile settings =
      test::WriteIni(folder, "settings.ini", "settings", {{"OutPutDir", folder}});
  const settings::IniFile catalogue(folder + "/catalogue.ini");
  TJobList list;
  const auto probe = [](const std::string&) { return TProbeResult{true, 3000000, ""}; };
  ASSERT_EQ(list.Add({"a.mp4", "b.mp4", "c.mp4"}, settings, catalogue, probe).added, 3);
  list.Record(2).Brightness = 400;
  const TConversionHook hook(TaskRowsLookup(list, {0, 2}));

  TestFrame first = GreyFrame();
  THookInfo info = HookInfoFor(first, 0);
  hook(info);
  EXPECT_TRUE(info.StopHook);

  TestFrame second = GreyFrame();
  info = HookInfoFor(second, 1);
  hook(info);
  EXPECT_FALSE(info.StopHook);
  EXPECT_NE(second.Pixels(), GreyFrame().Pixels());

  info = HookInfoFor(second, 2);
  EXPECT_THROW(hook(info), std::out_of_range);
}

}  // namespace
}  // namespace kestrel::jobs
