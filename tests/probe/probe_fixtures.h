// Media files the probe tests share, made at test time with the ffmpeg command line.
#pragma once

#include <string>
#include <vector>

namespace kestrel::test {

// Loads the libraries the probe needs; false (with the loader's text in *error) on failure.
bool LoadProbeLibraries(std::string* error);

// Path of a fixture by name: "h264_aac.mp4", "mpeg4_mp3.avi", "audio.mp3", "lang_sub.mkv",
// "program.ts", "ntsc.mp4" (29.97 fps, creation time tag). "" (and a failed test) when
// it cannot be made.
std::string ProbeFixture(const std::string& name);
// Names of every fixture above.
const std::vector<std::string>& ProbeFixtureNames();

// Writes a file in the test's own folder and returns its path.
std::string WriteTestFile(const std::string& name, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);

}  // namespace kestrel::test
