// The catalogue's default items written for a profile the user never tuned.
#include "jobs/profile_defaults.h"

#include <gtest/gtest.h>

#include "settings/ini_file.h"
#include "tests/jobs/jobs_test_files.h"
#include "tests/support/fixtures.h"

namespace kestrel::jobs {
namespace {

TEST(ProfileDefaults, ShippedProfileGetsItsDefaultItemsMapped) {
  const settings::IniFile catalogue(std::string(KESTREL_SOURCE_DIR) +
                                    "/resources/kestrelxboxformat.ini");
  settings::IniFile settings(test::FreshTestFolder() + "/settings.ini");
  EXPECT_FALSE(ProfileIsTuned(settings, 1));
  ASSERT_TRUE(WriteProfileDefaults(catalogue, settings, 1)) << settings.LastErrMsg();
  EXPECT_TRUE(ProfileIsTuned(settings, 1));
  const test::KeyValues expected = {{"paraVideoEncoder", "libx264"},
                                    {"iVideoEncoder", "0"},
                                    {"paraMaxBitrate", "768"},
                                    {"paraGop", "250"},
                                    {"paraCoder", "0"},
                                    {"paraVideoSize", "320x240"},
                                    {"paraFrameRate", "29.97"},
                                    {"paraVideoBitRate", "768"},
                                    {"paraZoom", "full"},
                                    {"paraAudioEncoder", "libfaac"},
                                    {"paraAudioBitRate", "128"},
                                    {"paraSampleRate", "44100"},
                                    {"paraChannel", "2"},
                                    {"paraVolume", "256"},
                                    {"iVolume", "3"}};
  for (const auto& [key, value] : expected)
    EXPECT_EQ(settings.ReadString("formatInfo1", key, "(none)"), value) << key;
  EXPECT_FALSE(settings.ValueExists("formatInfo1", "paraBitExact")) << "\"false\" is not copied";
}

TEST(ProfileDefaults, ItemsTheBoxesWouldRefuseOrCorrect) {
  const std::string folder = test::FreshTestFolder();
  const settings::IniFile catalogue = test::WriteIni(folder, "catalogue.ini", "formatInfo9",
                                                     {{"VideoSize", "as source,321x241"},
                                                      {"iVideoSize", "1"},
                                                      {"VideoEncoder", "mpeg-4,vp9"},
                                                      {"iVideoEncoder", "1"},
                                                      {"VideoBitRate", "fast,900"},
                                                      {"iVideoBitRate", "0"},
                                                      {"AudioEncoder", "null"},
                                                      {"Volume", "60%,100%"},
                                                      {"iVolume", "0"},
                                                      {"Channel", "mono 1 channel,surround"},
                                                      {"iChannel", "1"}});
  settings::IniFile settings(folder + "/settings.ini");
  ASSERT_TRUE(WriteProfileDefaults(catalogue, settings, 9));
  auto para = [&](const char* key) { return settings.ReadString("formatInfo9", key, "(none)"); };
  EXPECT_EQ(para("paraVideoSize"), "320x240");    // odd sides rounded down to even
  EXPECT_EQ(para("paraVideoEncoder"), "(none)");  // an unknown encoder item writes none
  EXPECT_EQ(para("paraVideoBitRate"), "900");     // an invalid item falls back to item 1
  EXPECT_EQ(para("iVideoBitRate"), "1");
  EXPECT_EQ(para("paraAudioEncoder"), "(none)");  // the list does not apply
  EXPECT_EQ(para("paraVolume"), "(none)");        // 60 % has no volume value
  EXPECT_EQ(para("iVolume"), "0");
  EXPECT_EQ(para("paraChannel"), "(none)");
  EXPECT_EQ(para("iChannel"), "1");
}

}  // namespace
}  // namespace kestrel::jobs
