#include "tests/probe/probe_fixtures.h"

#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "medialib/library_loader.h"
#include "tests/support/fixtures.h"

namespace kestrel::test {

namespace {

constexpr const char* kVideo =
    "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -f lavfi -i "
    "sine=frequency=440:duration=2 ";

std::string SubtitleSource() {
  return WriteTestFile("cues.srt",
                       "1\n00:00:00,000 --> 00:00:01,000\nFirst cue\n\n"
                       "2\n00:00:01,000 --> 00:00:02,000\nSecond cue\n\n");
}

// Arguments of each fixture; the subtitle source is made on demand.
std::string FixtureArguments(const std::string& name) {
  static const std::map<std::string, std::string> kArguments = {
      {"h264_aac.mp4",
       std::string(kVideo) + "-c:v libx264 -pix_fmt yuv420p -c:a aac -metadata title=Probe"},
      {"mpeg4_mp3.avi", std::string(kVideo) + "-c:v mpeg4 -c:a libmp3lame"},
      {"audio.mp3",
       "-f lavfi -i sine=frequency=440:duration=3 -c:a libmp3lame -metadata title=Tone"},
      {"program.ts", std::string(kVideo) +
                         "-c:v mpeg2video -c:a mp2 -metadata:s:a:0 language=eng "
                         "-metadata service_provider=Prov -metadata service_name=Chan"},
      {"ntsc.mp4",
       "-f lavfi -i testsrc=size=160x120:rate=30000/1001:duration=1 -c:v mpeg4 "
       "-metadata creation_time=2020-07-02T03:04:05Z"},
  };
  if (name == "lang_sub.mkv")
    return std::string(kVideo) + "-i " + ShellQuote(SubtitleSource()) +
           " -map 0 -map 1 -map 2 -c:v mpeg4 -c:a libvorbis -c:s srt "
           "-metadata:s:a:0 language=ger -metadata TIT2=RawTitle";
  auto it = kArguments.find(name);
  return it == kArguments.end() ? "" : it->second;
}

}  // namespace

bool LoadProbeLibraries(std::string* error) {
  if (LoadLibs(kProbeLibs)) return true;
  if (error) *error = LastError();
  return false;
}

const std::vector<std::string>& ProbeFixtureNames() {
  static const std::vector<std::string> kNames = {"h264_aac.mp4", "mpeg4_mp3.avi", "audio.mp3",
                                                  "lang_sub.mkv", "program.ts",    "ntsc.mp4"};
  return kNames;
}

std::string ProbeFixture(const std::string& name) {
  const std::string args = FixtureArguments(name);
  if (args.empty()) return "";
  return MakeFixture(name, args);
}

std::string WriteTestFile(const std::string& name, const std::string& bytes) {
  const std::string path = TempDir() + "/" + name;
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace kestrel::test
