// Helpers shared by the test suites: media fixtures made at test time with the ffmpeg
// command line, the real-world corpus, and ffprobe as an independent oracle.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace kestrel::test {

// A folder of this test process's own, created on first use, under the build tree.
std::string TempDir();

// Makes (once per build tree) a media file by running
//   ffmpeg -y -hide_banner -loglevel error <ffmpeg_args> <file>
// and returns its path. `name` is the file name and decides the container, e.g.
//   MakeFixture("h264_aac.mp4", "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 "
//               "-f lavfi -i sine=frequency=440:duration=2 -c:v libx264 -c:a aac");
// Creation is atomic (temporary name, then rename), so parallel tests may share it.
// Fails the current test (and returns "") when ffmpeg fails.
std::string MakeFixture(const std::string& name, const std::string& ffmpeg_args);

// Path of a file of the read-only real-world corpus, or "" when the corpus is absent.
std::string CorpusFile(const std::string& name);

// Runs a shell command; returns its exit status and, when asked, what it printed on
// standard output.
int RunCommand(const std::string& command, std::string* output = nullptr);

// Quotes a text for a POSIX shell.
std::string ShellQuote(const std::string& text);

// ffprobe's view of a file as flat keys, e.g. "format.duration", "format.format_name",
// "streams.stream.0.codec_name", "streams.stream.1.sample_rate". Empty when ffprobe fails.
std::map<std::string, std::string> Ffprobe(const std::string& path);

// Decodes the video of a file with the ffmpeg command line to raw frames of the given
// pixel format and returns one MD5 per frame (the framemd5 muxer).
std::vector<std::string> FrameChecksums(const std::string& path, const std::string& pix_fmt = "rgb24");

}  // namespace kestrel::test
