// kestrel-cli info: text or JSON per file, errors on standard error, the exit status.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tests/probe/probe_fixtures.h"
#include "tests/support/fixtures.h"

namespace kestrel {
namespace {

#ifdef KESTREL_CLI_PATH

struct CliRun {
  int status;
  std::string out;
  std::string err;
};

CliRun Info(const std::string& arguments) {
  const std::string err_path = test::TempDir() + "/info-stderr.txt";
  CliRun run;
  run.status = test::RunCommand(test::ShellQuote(KESTREL_CLI_PATH) + " info " + arguments + " 2>" +
                                    test::ShellQuote(err_path),
                                &run.out);
  run.err = test::ReadFileBytes(err_path);
  return run;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(InfoCommand, PrintsEveryProbedFileAndReportsTheOthers) {
  const std::string mp4 = test::ProbeFixture("h264_aac.mp4");
  const std::string mp3 = test::ProbeFixture("audio.mp3");
  const std::string missing = test::TempDir() + "/missing.mkv";
  const CliRun run =
      Info(test::ShellQuote(mp4) + " " + test::ShellQuote(missing) + " " + test::ShellQuote(mp3));
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Contains(run.out, "File Name: " + mp4 + "\n")) << run.out;
  EXPECT_TRUE(Contains(run.out, "File Name: " + mp3 + "\n")) << run.out;
  EXPECT_FALSE(Contains(run.out, "\r")) << "terminal output has Unix line ends";
  EXPECT_EQ(run.err, missing + ": No such file or directory\n");

  EXPECT_EQ(Info(test::ShellQuote(mp4) + " " + test::ShellQuote(mp3)).status, 0);
}

TEST(InfoCommand, JsonHoldsTheFileAndStreamRecords) {
  const std::string mkv = test::ProbeFixture("lang_sub.mkv");
  const CliRun run = Info("--json " + test::ShellQuote(mkv));
  ASSERT_EQ(run.status, 0) << run.err;
  // An independent parser reads it back.
  const std::string check = test::WriteTestFile("info.json", run.out);
  std::string fields;
  ASSERT_EQ(
      test::RunCommand("python3 -c 'import json,sys; d=json.load(open(sys.argv[1]))[0]; "
                       "s=d[\"Streams\"]; print(d[\"StreamCount\"], d[\"File\"][\"Duration\"], "
                       "s[0][\"Type\"], s[0][\"Width\"], s[1][\"Language\"], s[1][\"SampleRate\"], "
                       "s[2][\"Type\"])' " +
                           test::ShellQuote(check),
                       &fields),
      0)
      << run.out;
  const std::string duration_us =
      std::to_string(std::llround(std::stod(test::Ffprobe(mkv).at("format.duration")) * 1e6));
  EXPECT_EQ(fields, "3 " + duration_us + " Video 160 ger 44100 Subtitle\n");
}

TEST(InfoCommand, UsageHelpAndNamesThatLookLikeOptions) {
  EXPECT_EQ(Info("").status, 2);
  EXPECT_EQ(Info("--bogus x").status, 2);
  const CliRun help = Info("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(Contains(help.out, "--json")) << help.out;

  const std::string dashed =
      test::WriteTestFile("-dashed.mp3", test::ReadFileBytes(test::ProbeFixture("audio.mp3")));
  const CliRun run = Info("-- " + test::ShellQuote(dashed));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Contains(run.out, "Format Name: mp3")) << run.out;
}

#endif

}  // namespace
}  // namespace kestrel
