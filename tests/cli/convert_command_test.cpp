// kestrel-cli convert tried as a new user would: mistakes get a clear message, the good
// files still convert, the exit status tells; --print-options and Ctrl-C.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/fixtures.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

constexpr const char* kProfile = "AVI Video (*.avi)";  // code 2604: mpeg4 + mp3 in AVI

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string Q(const std::string& text) {
  return test::ShellQuote(text);
}

// The program reads the settings file beside it (when that folder is writable): a copy of
// it with the catalogue in a folder of the test's own starts from no settings at all, so
// profiles convert with their catalogue defaults whatever the build folder holds.
std::string CliPath() {
  static const std::string path = [] {
    const fs::path built(KESTREL_CLI_PATH);
    const fs::path folder = fs::path(test::TempDir()) / "cli-bin";
    fs::create_directories(folder);
    fs::copy_file(built, folder / built.filename(), fs::copy_options::overwrite_existing);
    fs::copy_file(built.parent_path() / "kestrelxboxformat.ini", folder / "kestrelxboxformat.ini",
                  fs::copy_options::overwrite_existing);
    return (folder / built.filename()).string();
  }();
  return path;
}

// A ThreadSanitizer build of the program hears the same suppressions as the test
// executables: the media libraries and Qt are not built for it, so their own threads
// would show up as races. Other builds ignore the variable.
std::string TsanEnvironment() {
  static const std::string assignment = [] {
    const std::string file = test::TempDir() + "/cli-tsan.supp";
    std::ofstream(file) << "race:libavcodec.so\nrace:libavutil.so\nrace:libavfilter.so\n"
                           "race:libavformat.so\nrace:libswscale.so\nrace:libswresample.so\n"
                           "race:libx264.so\nrace:libQt6Core.so\nrace:libQt6Gui.so\n";
    return "TSAN_OPTIONS=" + Q("suppressions=" + file) + " ";
  }();
  return assignment;
}

CliRun Cli(const std::string& arguments) {
  const std::string err_path = test::TempDir() + "/cli-stderr.txt";
  CliRun run;
  run.status = test::RunCommand(
      TsanEnvironment() + Q(CliPath()) + " " + arguments + " 2>" + Q(err_path), &run.out);
  run.err = ReadText(err_path);
  return run;
}

std::string GoodClip(const std::string& name) {
  return test::MakeFixture(name,
                           "-f lavfi -i testsrc=size=64x48:rate=10:duration=1 "
                           "-f lavfi -i sine=frequency=440:duration=1 -c:v mpeg4 -c:a mp2");
}

// A fresh, empty output folder for the running test.
std::string OutDir() {
  const auto* info = testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  for (char& c : name)
    if (c == '/') c = '_';
  const std::string dir = test::TempDir() + "/cli/" + name;
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

int FilesIn(const std::string& dir) {
  int count = 0;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec))
    count += entry.is_regular_file() ? 1 : 0;
  return count;
}

struct MistakeCase {
  const char* name;
  // The arguments after "convert", given the output folder and a scratch folder.
  std::string (*arguments)(const std::string& out, const std::string& scratch);
  int status;
  const char* message;  // on standard error
  int outputs;          // converted files in the output folder
};

const MistakeCase kMistakes[] = {
    {"WrongProfileName",
     [](const std::string& out, const std::string&) {
       return "--profile 'Nokia Brick (*.xyz)' --output-dir " + Q(out) + " " +
              Q(GoodClip("cli_a.avi"));
     },
     2, "unknown profile 'Nokia Brick (*.xyz)'; 'kestrel-cli profiles' lists the profiles", 0},
    {"MissingFile",
     [](const std::string& out, const std::string& scratch) {
       return "--output-dir " + Q(out) + " " + Q(GoodClip("cli_a.avi")) + " " +
              Q(scratch + "/missing.avi");
     },
     1, "/missing.avi: No such file or directory", 1},
    {"OutputFolderUnderAFile",
     [](const std::string&, const std::string& scratch) {
       std::ofstream(scratch + "/plain_file") << "x";
       return "--output-dir " + Q(scratch + "/plain_file/out") + " " + Q(GoodClip("cli_a.avi"));
     },
     1, "cannot use the output folder", 0},
    {"UnreadableImageMark",
     [](const std::string& out, const std::string& scratch) {
       return "--image " + Q(scratch + "/logo.bmp") + " --output-dir " + Q(out) + " " +
              Q(GoodClip("cli_a.avi"));
     },
     2, "cannot read the image mark", 0},
    {"NoHookWithAMark",
     [](const std::string& out, const std::string&) {
       return "--no-hook --text Hello --output-dir " + Q(out) + " " + Q(GoodClip("cli_a.avi"));
     },
     2, "--no-hook converts without marks and colour changes", 0},
    {"DamagedFileAmongGoodOnes",
     [](const std::string& out, const std::string& scratch) {
       std::ofstream(scratch + "/damaged.avi") << std::string(4096, '\x5a');
       return "--output-dir " + Q(out) + " " + Q(GoodClip("cli_a.avi")) + " " +
              Q(scratch + "/damaged.avi") + " " + Q(GoodClip("cli_b.avi"));
     },
     1, "damaged.avi", 2},
};

class ConvertMistakes : public testing::TestWithParam<MistakeCase> {};

TEST_P(ConvertMistakes, ClearMessageGoodFilesConvertStatusTells) {
  const MistakeCase& c = GetParam();
  const std::string out = OutDir();
  const std::string scratch = out + "_scratch";
  fs::create_directories(scratch);
  const CliRun run = Cli("convert --profile " + Q(kProfile) + " " + c.arguments(out, scratch));
  EXPECT_EQ(run.status, c.status) << run.out << run.err;
  EXPECT_TRUE(Contains(run.err, c.message)) << run.err;
  EXPECT_EQ(FilesIn(out), c.outputs);
  for (const auto& entry : fs::directory_iterator(out)) {
    auto probe = test::Ffprobe(entry.path().string());
    EXPECT_EQ(probe["streams.stream.0.codec_name"], "mpeg4") << entry.path();
  }
  if (c.status == 1 && c.outputs > 0) {
    EXPECT_TRUE(Contains(run.err, "Not converted:\n")) << run.err;
    EXPECT_TRUE(Contains(run.out, std::to_string(c.outputs) + " of ")) << run.out;
  }
}

INSTANTIATE_TEST_SUITE_P(NewUser, ConvertMistakes, testing::ValuesIn(kMistakes),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ConvertCommand, PrintOptionsGivesTheEngineArgumentsShellQuoted) {
  const std::string out = OutDir() + "/with (parens) and 'quotes'";
  const std::string clip = GoodClip("cli_a.avi");
  const CliRun run =
      Cli("convert --print-options --profile 2604 --trim 0.25,0.5 -x " + Q("metadata=title=a b") +
          " --output-dir " + Q(out) + " " + Q(clip) + " " + Q(GoodClip("cli_b.avi")));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(FilesIn(out), 0) << "nothing is converted";

  // An independent shell-word parser reads the lines back.
  const std::string lines = test::TempDir() + "/print_options.txt";
  std::ofstream(lines) << run.out;
  std::string words;
  ASSERT_EQ(
      test::RunCommand("python3 -c 'import shlex,sys\n"
                       "for line in open(sys.argv[1]): print(\"|\".join(shlex.split(line)))' " +
                           Q(lines),
                       &words),
      0);
  std::vector<std::string> parsed;
  std::stringstream stream(words);
  for (std::string line; std::getline(stream, line);) parsed.push_back("|" + line + "|");
  ASSERT_EQ(parsed.size(), 4u) << run.out;
  EXPECT_TRUE(Contains(parsed[0], "|-f|avi|")) << parsed[0];
  EXPECT_TRUE(Contains(parsed[0], "|-ss|0.250000|-i|" + clip + "|")) << parsed[0];
  for (const char* expected :
       {"|-vcodec|mpeg4|", "|-acodec|libmp3lame|", "|-f|avi|", "|-s|640x480|", "|-vb|1500000|",
        "|-t|0.500000|", "|-metadata|title=a b|", "|-alang||"}) {
    EXPECT_TRUE(Contains(parsed[1], expected)) << expected << " in " << parsed[1];
  }
  EXPECT_TRUE(parsed[1].ends_with("|" + out + "/cli_a_(new).avi|")) << parsed[1];
  EXPECT_TRUE(parsed[3].ends_with("|" + out + "/cli_b_(new).avi|")) << parsed[3];
}

TEST(ConvertCommand, ExtraLineThatTheProfileReplacesIsReportedOnce) {
  const CliRun run = Cli("convert --print-options --profile 2604 -x vsync=2 -x bf=2 " +
                         Q(GoodClip("cli_a.avi")) + " " + Q(GoodClip("cli_b.avi")));
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string warning = "warning: -x vsync=2 is replaced by the profile's vsync -1";
  EXPECT_TRUE(Contains(run.err, warning)) << run.err;
  EXPECT_EQ(run.err.find(warning), run.err.rfind(warning)) << "reported once: " << run.err;
  EXPECT_FALSE(Contains(run.err, "bf=2")) << "a line the profile leaves alone is used: " << run.err;
}

TEST(ConvertCommand, TextMarkIsDrawnWithoutADisplay) {
  const std::string clip = GoodClip("cli_a.avi");
  const std::string plain = OutDir();
  const std::string marked = plain + "_marked";
  fs::create_directories(marked);
  const std::string common = "convert --profile 2604 --jobs 2 --trim 0,0.5 ";
  ASSERT_EQ(Cli(common + "--output-dir " + Q(plain) + " " + Q(clip)).status, 0);
  const CliRun run =
      Cli(common + "--text KESTREL --font-size 30 --font-color '#FFFFFF' " +
          "--font-style bold --text-pos 4,4 --output-dir " + Q(marked) + " " + Q(clip));
  ASSERT_EQ(run.status, 0) << run.err;
  const auto a = test::FrameChecksums(plain + "/cli_a_(new).avi");
  const auto b = test::FrameChecksums(marked + "/cli_a_(new).avi");
  ASSERT_FALSE(a.empty());
  ASSERT_EQ(a.size(), b.size());
  EXPECT_NE(a.front(), b.front()) << "the text changed the picture";
}

TEST(ConvertCommand, InterruptStopsCleanlyWithAPlayablePartialOutput) {
  const std::string out = OutDir();
  const std::string long_clip =
      test::MakeFixture("cli_long.avi",
                        "-f lavfi -i testsrc=size=160x120:rate=25:duration=120 "
                        "-f lavfi -i sine=frequency=440:duration=120 -c:v mpeg4 -c:a mp2");
  const std::string log = out + "_log.txt";
  // Waits for the first progress line, then presses Ctrl-C.
  const std::string script = TsanEnvironment() + Q(CliPath()) +
                             " convert --profile 2604 --output-dir " + Q(out) + " " + Q(long_clip) +
                             " " + Q(GoodClip("cli_a.avi")) + " >" + Q(log) + " 2>&1 & pid=$!; " +
                             "for i in $(seq 300); do grep -q '%' " + Q(log) +
                             " && break; sleep 0.1; done; " + "kill -INT $pid; wait $pid; echo $?";
  std::string status;
  ASSERT_EQ(test::RunCommand(script, &status), 0);
  const std::string printed = ReadText(log);
  EXPECT_EQ(status, "130\n") << printed;
  EXPECT_TRUE(Contains(printed, "Stopped: 0 of 2 files converted.")) << printed;
  EXPECT_TRUE(Contains(printed, "cli_long.avi: stopped")) << printed;
  EXPECT_TRUE(Contains(printed, "cli_a.avi: stopped")) << printed;

  auto probe = test::Ffprobe(out + "/cli_long_(new).avi");
  ASSERT_FALSE(probe.empty()) << "the partial output is readable";
  const double seconds = std::stod(probe["format.duration"]);
  EXPECT_GT(seconds, 0);
  EXPECT_LT(seconds, 100);
  EXPECT_FALSE(fs::exists(out + "/cli_a_(new).avi")) << "the job that never began leaves no file";
  EXPECT_FALSE(Contains(printed, "The output of " + GoodClip("cli_a.avi"))) << printed;
}

TEST(ConvertCommand, EveryCommandHasHelp) {
  for (const char* command : {"convert", "info", "profiles"}) {
    const CliRun run = Cli(std::string(command) + " --help");
    EXPECT_EQ(run.status, 0) << command;
    EXPECT_TRUE(run.out.starts_with(std::string("Usage: kestrel-cli ") + command)) << run.out;
  }
  const CliRun bad = Cli("convert --jobs 0 x.avi");
  EXPECT_EQ(bad.status, 2);
  EXPECT_TRUE(Contains(bad.err, "--jobs must be a whole number from 1 to 64, not '0'")) << bad.err;
}

}  // namespace
}  // namespace kestrel
