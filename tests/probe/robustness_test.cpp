// Damaged files: truncated and byte-flipped variants of every fixture must give a
// result or a clear message, never a crash (run under AddressSanitizer) or a hang.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "probe/av_probe.h"
#include "tests/probe/probe_fixtures.h"

namespace kestrel {
namespace {

// A small deterministic generator, so a failing variant can be made again.
class XorShift {
 public:
  explicit XorShift(std::uint64_t seed) : state_(seed | 1) {}
  std::uint64_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_;
  }

 private:
  std::uint64_t state_;
};

std::vector<std::pair<std::string, std::string>> Variants(const std::string& bytes) {
  std::vector<std::pair<std::string, std::string>> variants;
  const size_t size = bytes.size();
  for (size_t length : {size_t{1}, size_t{16}, size_t{188}, size_t{700}, size / 8, size / 4,
                        size / 2, size * 3 / 4, size - 1}) {
    variants.emplace_back("cut" + std::to_string(length), bytes.substr(0, length));
  }
  XorShift random(0x5eed);
  for (int round = 0; round < 24; ++round) {
    std::string damaged = bytes;
    // Headers hold the most structure: half the rounds damage only the first 4 KB.
    const size_t span = round % 2 ? std::min<size_t>(size, 4096) : size;
    const int flips = 1 << (round % 6);  // 1 .. 32 bytes
    for (int f = 0; f < flips; ++f)
      damaged[random.Next() % span] ^= static_cast<char>(1 + random.Next() % 255);
    variants.emplace_back("flip" + std::to_string(round), damaged);
  }
  return variants;
}

// Every query of the probe on whatever the file gave.
void ExerciseProbe(TAVProbe& probe) {
  std::string text;
  EXPECT_TRUE(probe.GetFileInfoText(text));
  EXPECT_FALSE(text.empty());
  TFileStreamInfo file;
  EXPECT_TRUE(probe.GetFileStreamInfo(file));
  for (int i = 0; i < probe.StreamCount(); ++i) {
    TVideoStreamInfo video;
    TAudioStreamInfo audio;
    EXPECT_EQ(probe.GetVideoStreamInfo(i, video), probe.IsVideoStream(i));
    EXPECT_EQ(probe.GetAudioStreamInfo(i, audio), probe.IsAudioStream(i));
  }
}

class ProbeRobustness : public ::testing::TestWithParam<std::string> {};

TEST_P(ProbeRobustness, DamagedVariantsNeitherCrashNorHang) {
  std::string error;
  ASSERT_TRUE(test::LoadProbeLibraries(&error)) << error;
  const std::string bytes = test::ReadFileBytes(test::ProbeFixture(GetParam()));
  ASSERT_GT(bytes.size(), 4096u);
  const std::string extension = GetParam().substr(GetParam().rfind('.'));
  TAVProbe probe;
  for (const auto& [name, damaged] : Variants(bytes)) {
    SCOPED_TRACE(name);
    const std::string path = test::WriteTestFile("damaged-" + name + extension, damaged);
    if (probe.LoadFile(path)) {
      ExerciseProbe(probe);
    } else {
      EXPECT_FALSE(probe.LastErrMsg().empty());
      EXPECT_EQ(probe.StreamCount(), -1);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ProbeRobustness, ::testing::ValuesIn(test::ProbeFixtureNames()),
                         [](const auto& info) {
                           std::string name = info.param;
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

}  // namespace
}  // namespace kestrel
