#include "tests/support/fixtures.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace kestrel::test {
namespace fs = std::filesystem;

namespace {
std::string TestRoot() {
  const char* env = std::getenv("KESTREL_TEST_TMP");
  std::string root = env && *env ? env : std::string(KESTREL_BINARY_DIR) + "/test-tmp";
  fs::create_directories(root);
  return root;
}
}  // namespace

std::string TempDir() {
  static const std::string dir = [] {
    std::string d = TestRoot() + "/run-" + std::to_string(getpid());
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

std::string ShellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

int RunCommand(const std::string& command, std::string* output) {
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  std::array<char, 4096> buffer{};
  std::string text;
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) text.append(buffer.data(), n);
  int status = pclose(pipe);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string MakeFixture(const std::string& name, const std::string& ffmpeg_args) {
  const std::string dir = TestRoot() + "/fixtures";
  fs::create_directories(dir);
  const std::string path = dir + "/" + name;
  if (fs::exists(path)) return path;
  const std::string tmp = dir + "/.tmp-" + std::to_string(getpid()) + "-" + name;
  std::string cmd = "ffmpeg -nostdin -y -hide_banner -loglevel error " + ffmpeg_args;
  // Keep the container the final name implies even though the temporary name differs.
  cmd += " " + ShellQuote(tmp) + " 2>&1";
  std::string log;
  if (RunCommand(cmd, &log) != 0) {
    ADD_FAILURE() << "fixture " << name << " could not be made: " << log;
    fs::remove(tmp);
    return "";
  }
  fs::rename(tmp, path);
  return path;
}

std::string CorpusFile(const std::string& name) {
  const std::string path = std::string(KESTREL_CORPUS_DIR) + "/" + name;
  return fs::exists(path) ? path : "";
}

std::map<std::string, std::string> Ffprobe(const std::string& path) {
  std::map<std::string, std::string> values;
  std::string out;
  if (RunCommand("ffprobe -v error -show_format -show_streams -of flat " + ShellQuote(path), &out) !=
      0)
    return values;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = line.substr(0, eq);
    std::string value = line.substr(eq + 1);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    values[key] = value;
  }
  return values;
}

std::vector<std::string> FrameChecksums(const std::string& path, const std::string& pix_fmt) {
  std::vector<std::string> sums;
  std::string out;
  RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(path) + " -map 0:v:0 -pix_fmt " + pix_fmt +
                 " -f framemd5 -",
             &out);
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#') continue;
    auto comma = line.rfind(',');
    if (comma != std::string::npos) {
      std::string sum = line.substr(comma + 1);
      sum.erase(0, sum.find_first_not_of(' '));
      sums.push_back(sum);
    }
  }
  return sums;
}

}  // namespace kestrel::test
