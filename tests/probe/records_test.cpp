// The probe's records, summary fields, errors and life cycle.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <vector>

#include "medialib/av.h"
#include "medialib/library_loader.h"
#include "medialib/media_logger.h"
#include "probe/av_probe.h"
#include "tests/probe/probe_fixtures.h"
#include "tests/support/fixtures.h"

namespace kestrel {
namespace {

class ProbeRecords : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(test::LoadProbeLibraries(&error)) << error;
  }
};

void ExpectNothingLoaded(const TAVProbe& probe) {
  EXPECT_EQ(probe.FormatContext(), nullptr);
  const std::int64_t summary[] = {probe.FileSize(),
                                  probe.StreamCount(),
                                  probe.ProgramCount(),
                                  probe.AudioStreamCount(),
                                  probe.VideoStreamCount(),
                                  probe.SubtitleStreamCount(),
                                  probe.FirstAudioStreamIndex(),
                                  probe.FirstVideoStreamIndex(),
                                  probe.FirstSubtitleStreamIndex(),
                                  probe.DefaultStreamIndex()};
  for (std::int64_t value : summary) EXPECT_EQ(value, -1);
  EXPECT_EQ(probe.DefaultStreamStartTime(), 0);
  EXPECT_EQ(probe.InputFormatName(), "");
}

TEST_F(ProbeRecords, EveryQueryOfAnEmptyProbeSaysFileNotLoaded) {
  const std::pair<const char*, std::function<bool(TAVProbe&)>> queries[] = {
      {"GetFileStreamInfo",
       [](TAVProbe& p) {
         TFileStreamInfo info;
         info.Title = "stale";
         bool ok = p.GetFileStreamInfo(info);
         EXPECT_EQ(info.Duration, -1);
         EXPECT_EQ(info.BitRate, -1);
         EXPECT_EQ(info.TimeStamp, -1);
         EXPECT_EQ(info.Title, "");
         return ok;
       }},
      {"GetVideoStreamInfo",
       [](TAVProbe& p) {
         TVideoStreamInfo info;
         bool ok = p.GetVideoStreamInfo(0, info);
         EXPECT_EQ(info.Width, -1);
         EXPECT_EQ(info.DisplayAspectRatio, -1.0f);
         return ok;
       }},
      {"GetAudioStreamInfo",
       [](TAVProbe& p) {
         TAudioStreamInfo info;
         return p.GetAudioStreamInfo(-1, info);
       }},
      {"GetFileInfoText",
       [](TAVProbe& p) {
         std::string text = "stale";
         bool ok = p.GetFileInfoText(text);
         EXPECT_EQ(text, "");
         return ok;
       }},
      {"FileName", [](TAVProbe& p) { return !p.FileName().empty(); }},
      {"FormatName", [](TAVProbe& p) { return !p.FormatName().empty(); }},
      {"IsAudioStream", [](TAVProbe& p) { return p.IsAudioStream(0); }},
      {"IsVideoStream", [](TAVProbe& p) { return p.IsVideoStream(0); }},
  };
  for (const auto& [name, query] : queries) {
    SCOPED_TRACE(name);
    TAVProbe probe;
    ExpectNothingLoaded(probe);
    EXPECT_FALSE(query(probe));
    EXPECT_EQ(probe.LastErrMsg(), "file not loaded.");
  }
}

TEST_F(ProbeRecords, FailuresGoToTheLogWithTheirLevel) {
  std::vector<TLogInfo> lines;
  MediaLogger().SetTriggerEventInMainThread(false);
  MediaLogger().SetLogLevel(llInfo);
  MediaLogger().SetOnLog([&](const TLogInfo& info) {
    if (info.sender != &MediaLogger()) lines.push_back(info);  // library output aside
  });
  TAVProbe probe;
  probe.FormatName();
  ASSERT_TRUE(probe.LoadFile(test::ProbeFixture("audio.mp3")));
  TVideoStreamInfo video;
  probe.GetVideoStreamInfo(-1, video);
  MediaLogger().SetOnLog(nullptr);

  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].sender, &probe);
  EXPECT_EQ(lines[0].level, llWarning);
  EXPECT_EQ(lines[0].message, "file not loaded.");
  EXPECT_EQ(lines[1].level, llError);
  EXPECT_EQ(lines[1].message, "no video stream.");
}

TEST_F(ProbeRecords, AudioOnlyFileDefaultsToItsAudioStream) {
  TAVProbe probe;
  ASSERT_TRUE(probe.LoadFile(test::ProbeFixture("audio.mp3"))) << probe.LastErrMsg();
  EXPECT_EQ(probe.FirstVideoStreamIndex(), -1);
  EXPECT_EQ(probe.FirstAudioStreamIndex(), 0);
  EXPECT_EQ(probe.DefaultStreamIndex(), 0);
  TVideoStreamInfo video;
  EXPECT_FALSE(probe.GetVideoStreamInfo(-1, video));
  EXPECT_EQ(probe.LastErrMsg(), "no video stream.");
  EXPECT_EQ(video.Width, -1);
  TAudioStreamInfo audio;
  ASSERT_TRUE(probe.GetAudioStreamInfo(-1, audio));
  EXPECT_EQ(audio.SampleRate, 44100);
  TFileStreamInfo file;
  ASSERT_TRUE(probe.GetFileStreamInfo(file));
  EXPECT_EQ(file.Title, "Tone");
  EXPECT_EQ(probe.DefaultStreamStartTime(),
            probe.FormatContext()->streams[0]->start_time == AV_NOPTS_VALUE
                ? 0
                : probe.FormatContext()->streams[0]->start_time);
}

TEST_F(ProbeRecords, WrongStreamIndexesAreRefused) {
  TAVProbe probe;
  ASSERT_TRUE(probe.LoadFile(test::ProbeFixture("h264_aac.mp4"))) << probe.LastErrMsg();
  struct Case {
    const char* what;
    std::function<bool()> query;
    const char* message;
  };
  TVideoStreamInfo video;
  TAudioStreamInfo audio;
  const Case cases[] = {
      {"video of audio", [&] { return probe.GetVideoStreamInfo(1, video); },
       "stream #1 is not video stream."},
      {"audio of video", [&] { return probe.GetAudioStreamInfo(0, audio); },
       "stream #0 is not audio stream."},
      {"video past end", [&] { return probe.GetVideoStreamInfo(2, video); },
       "stream index #2 is invalid."},
      {"audio past end", [&] { return probe.GetAudioStreamInfo(7, audio); },
       "stream index #7 is invalid."},
      {"is audio past end", [&] { return probe.IsAudioStream(2); }, "stream index #2 is invalid."},
      {"is video negative", [&] { return probe.IsVideoStream(-1); },
       "stream index #-1 is invalid."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(c.query());
    EXPECT_EQ(probe.LastErrMsg(), c.message);
  }
  EXPECT_EQ(video.Width, -1);
  EXPECT_EQ(audio.SampleRate, -1);
  EXPECT_TRUE(probe.IsVideoStream(0));
  EXPECT_TRUE(probe.IsAudioStream(1));
}

TEST_F(ProbeRecords, FailedLoadsLeaveNothingLoadedWithAClearMessage) {
  const std::string dir = test::TempDir() + "/a folder";
  std::filesystem::create_directories(dir);
  const std::string missing = test::TempDir() + "/missing.mp4";
  const std::string empty = test::WriteTestFile("empty.avi", "");
  const struct {
    std::string path;
    std::string forced;
    std::string message_start;
  } cases[] = {
      {missing, "", missing + ": No such file or directory"},
      {dir, "", dir + ": "},
      {empty, "", empty + ": "},
      {test::ProbeFixture("audio.mp3"), "no_such_format", "Unknown input format: no_such_format"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    TAVProbe probe;
    ASSERT_TRUE(probe.LoadFile(test::ProbeFixture("h264_aac.mp4")));
    EXPECT_FALSE(probe.LoadFile(c.path, c.forced));
    EXPECT_EQ(probe.LastErrMsg().rfind(c.message_start, 0), 0u) << probe.LastErrMsg();
    ExpectNothingLoaded(probe);
  }
}

TEST_F(ProbeRecords, ForcedFormatIsUsedAndKept) {
  // 1500 bytes of anything are 8-bit samples to the raw PCM demuxer.
  const std::string raw = test::WriteTestFile("samples.raw", std::string(1500, '\x80'));
  TAVProbe probe;
  ASSERT_TRUE(probe.LoadFile(raw, "u8")) << probe.LastErrMsg();
  EXPECT_EQ(probe.FormatName(), "u8");
  EXPECT_EQ(probe.InputFormatName(), "u8");
  EXPECT_EQ(probe.FileSize(), 1500);
  EXPECT_EQ(probe.AudioStreamCount(), 1);
  probe.CloseFile();
  EXPECT_EQ(probe.InputFormatName(), "");
  ExpectNothingLoaded(probe);
}

TEST_F(ProbeRecords, NamesOfAnyKindProbeAndReadBack) {
  const std::string source = test::ReadFileBytes(test::ProbeFixture("audio.mp3"));
  ASSERT_EQ(chdir(test::TempDir().c_str()), 0);
  const std::string names[] = {"Клип.mp3", "视频 文件.mp3", "clip:1.mp3", "-dash.mp3",
                               test::TempDir() + "/C:video.mp3"};
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    test::WriteTestFile(name.substr(name.rfind('/') + 1), source);
    TAVProbe probe;
    ASSERT_TRUE(probe.LoadFile(name)) << probe.LastErrMsg();
    EXPECT_EQ(probe.FileName(), name);
    EXPECT_EQ(probe.FileSize(), static_cast<std::int64_t>(source.size()));
  }
}

TEST_F(ProbeRecords, AttachedContextIsReadButNeverClosed) {
  const std::string path = test::ProbeFixture("h264_aac.mp4");
  AVFormatContext* context = nullptr;
  ASSERT_EQ(av::avformat_open_input(&context, path.c_str(), nullptr, nullptr), 0);
  ASSERT_GE(av::avformat_find_stream_info(context, nullptr), 0);

  TAVProbe loaded;
  ASSERT_TRUE(loaded.LoadFile(path));
  {
    TAVProbe probe;
    probe.AttachFormatContext(context);
    EXPECT_EQ(probe.FormatContext(), context);
    EXPECT_EQ(probe.FileSize(), loaded.FileSize());
    EXPECT_EQ(probe.StreamCount(), 2);
    EXPECT_EQ(probe.DefaultStreamIndex(), 0);
    EXPECT_EQ(probe.FileName(), path);
    TVideoStreamInfo video;
    ASSERT_TRUE(probe.GetVideoStreamInfo(-1, video));
    EXPECT_EQ(video.Width, 160);
    probe.AttachFormatContext(nullptr);
    ExpectNothingLoaded(probe);
    probe.AttachFormatContext(context);
  }  // the probe's destructor must leave the context open

  AVPacket* packet = av::av_packet_alloc();
  EXPECT_EQ(av::av_read_frame(context, packet), 0);
  av::av_packet_free(&packet);
  av::avformat_close_input(&context);
}

// A context built by hand, as a caller may attach one, with a stream whose time base is
// 0/0 and whose sample aspect ratio differs from the codec's.
struct HandMadeContext {
  HandMadeContext() {
    context = av::avformat_alloc_context();
    AVStream* stream = av::avformat_new_stream(context, nullptr);
    stream->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    stream->codecpar->codec_id = AV_CODEC_ID_MPEG4;
    stream->codecpar->width = 720;
    stream->codecpar->height = 576;
    stream->codecpar->sample_aspect_ratio = {1, 1};
    stream->sample_aspect_ratio = {4, 3};
    stream->time_base = {0, 0};
    stream->start_time = 3;
    stream->duration = 10;
  }
  ~HandMadeContext() { av::avformat_free_context(context); }
  AVFormatContext* context = nullptr;
};

TEST_F(ProbeRecords, ZeroTimeBaseIsReadAsOneAndStaysCorrected) {
  HandMadeContext made;
  TAVProbe probe;
  probe.AttachFormatContext(made.context);
  TVideoStreamInfo video;
  ASSERT_TRUE(probe.GetVideoStreamInfo(0, video)) << probe.LastErrMsg();
  EXPECT_EQ(video.StartTime, 3);
  EXPECT_EQ(video.StartTimeUS, 3000000);
  EXPECT_EQ(video.DurationUS, 10000000);
  EXPECT_EQ(made.context->streams[0]->time_base.num, 1);
  EXPECT_EQ(made.context->streams[0]->time_base.den, 1);
  EXPECT_FLOAT_EQ(video.DisplayAspectRatio, 1.25f);  // codec SAR 1:1 x 720 / 576
  EXPECT_EQ(probe.DefaultStreamStartTime(), 3);
  EXPECT_EQ(probe.FormatName(), "");
}

// Unloading avformat strands a few bytes its dependencies keep from their set-up, which
// the leak checker would report at exit; each case runs in a child that ends at once.
void ExpectMissingLibraryRaises(TLibraryIndex library, const std::string& message) {
  TAVProbe probe;
  UnloadLib(library);
  std::string raised;
  try {
    probe.LoadFile("whatever.mp4");
  } catch (const std::runtime_error& error) {
    raised = error.what();
  }
  bool attach_raised = false;
  try {
    probe.AttachFormatContext(nullptr);
  } catch (const std::runtime_error&) {
    attach_raised = true;
  }
  std::fprintf(stderr, "raised [%s]%s\n", raised.c_str(), attach_raised ? " twice" : "");
  std::_Exit(raised == message && attach_raised ? 0 : 1);
}

TEST_F(ProbeRecords, MissingLibrariesRaiseTheirText) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::pair<TLibraryIndex, const char*> libraries[] = {
      {liAVCodec, "LibAVCodec not loaded."},
      {liAVFormat, "LibAVFormat not loaded."},
      {liAVUtil, "LibAVUtil not loaded."},
      {liSwScale, "LibSwScale not loaded."},
  };
  for (const auto& [library, message] : libraries) {
    EXPECT_EXIT(ExpectMissingLibraryRaises(library, message), ::testing::ExitedWithCode(0),
                std::string("raised \\[") + message + "\\] twice");
  }
}

}  // namespace
}  // namespace kestrel
