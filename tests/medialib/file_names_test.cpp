#include "medialib/file_names.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "medialib/av.h"
#include "medialib/library_loader.h"
#include "tests/support/fixtures.h"

namespace kestrel {
namespace {
namespace fs = std::filesystem;

class FileNames : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(LoadLibs(kProbeLibs)) << LastError(); }
};

// Opens a name the way the media components do and returns the libraries' result; on
// success *name_back is the name read back from the opened context.
int OpenInput(const std::string& name, std::string* name_back, int* streams) {
  AVFormatContext* context = nullptr;
  const int result =
      av::avformat_open_input(&context, FileNameToURL(name).c_str(), nullptr, nullptr);
  if (result < 0) return result;
  *name_back = URLToFileName(context->url);
  *streams = static_cast<int>(context->nb_streams);
  av::avformat_close_input(&context);
  return result;
}

// The working folder of one test, restored when the test ends: relative names are the
// ones the libraries could misread.
class ScopedWorkingFolder {
 public:
  explicit ScopedWorkingFolder(const fs::path& folder) : previous_(fs::current_path()) {
    fs::create_directories(folder);
    fs::current_path(folder);
  }
  ~ScopedWorkingFolder() { fs::current_path(previous_); }

 private:
  fs::path previous_;
};

TEST_F(FileNames, AnyLocalNameOpensAndReadsBackExactly) {
  const std::string fixture = test::MakeFixture("tone.wav", "-f lavfi -i sine=duration=0.2");
  ASSERT_FALSE(fixture.empty());
  const std::string folder = test::TempDir() + "/names";
  ScopedWorkingFolder working(folder);

  const char* const names[] = {
      "Видеоклип.wav", "视频文件.wav",           "with space.wav", "clip:1.wav",      "C:video.wav",
      "-dash.wav",     "-клип 视频:2 final.wav", "file:named.wav", "subfile,a:b.wav",
  };
  for (const std::string name : names) {
    fs::copy_file(fixture, name, fs::copy_options::overwrite_existing);
    for (const std::string& given : {name, folder + "/" + name}) {
      std::string back;
      int streams = 0;
      const int result = OpenInput(given, &back, &streams);
      ASSERT_EQ(result, 0) << given;
      EXPECT_EQ(back, given);
      EXPECT_EQ(streams, 1) << given;
    }
  }
}

TEST_F(FileNames, NamesWithAColonAreMisreadWithoutTheURL) {
  // Shows what the wrapping prevents: the libraries take "clip" for a protocol.
  const std::string fixture = test::MakeFixture("tone.wav", "-f lavfi -i sine=duration=0.2");
  ScopedWorkingFolder working(test::TempDir() + "/raw");
  fs::copy_file(fixture, "clip:1.wav", fs::copy_options::overwrite_existing);
  AVFormatContext* context = nullptr;
  EXPECT_EQ(av::avformat_open_input(&context, "clip:1.wav", nullptr, nullptr),
            AVERROR_PROTOCOL_NOT_FOUND);
}

TEST_F(FileNames, OutputsAreWrittenUnderTheGivenName) {
  ScopedWorkingFolder working(test::TempDir() + "/out");
  AVIOContext* io = nullptr;
  ASSERT_EQ(
      av::avio_open2(&io, FileNameToURL("out:1.bin").c_str(), AVIO_FLAG_WRITE, nullptr, nullptr),
      0);
  av::avio_write(io, reinterpret_cast<const unsigned char*>("data"), 4);
  av::avio_closep(&io);
  EXPECT_EQ(fs::file_size("out:1.bin"), 4u);
}

TEST_F(FileNames, URLsOfKnownProtocolsPassUnchanged) {
  const std::vector<std::string> known = KnownProtocols();
  EXPECT_TRUE(std::find(known.begin(), known.end(), "http") != known.end());
  EXPECT_TRUE(std::find(known.begin(), known.end(), "file") != known.end());

  const struct {
    const char* name;
    const char* url;
  } cases[] = {
      {"http://example.com/a b.mp4", "http://example.com/a b.mp4"},
      {"pipe:0", "pipe:0"},
      {"udp://239.0.0.1:1234", "udp://239.0.0.1:1234"},
      {"/abs/clip.avi", "/abs/clip.avi"},
      {"clip.avi", "clip.avi"},
      {"clip:1.avi", "file:clip:1.avi"},
      {"C:video.mp4", "file:C:video.mp4"},
      {"HTTP://example.com/a.mp4", "file:HTTP://example.com/a.mp4"},  // names match exactly
      {"file:a.avi", "file:file:a.avi"},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FileNameToURL(c.name), c.url) << c.name;
    EXPECT_EQ(URLToFileName(c.url), c.name) << c.url;
  }
}

}  // namespace
}  // namespace kestrel
