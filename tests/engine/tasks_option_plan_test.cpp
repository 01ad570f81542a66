#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "engine/task_option_plan.h"
#include "tests/engine/option_test_support.h"

namespace kestrel {
namespace {

using TKind = TOptionCall::TKind;

TOptionCall Opt(const std::string& name, const std::string& value) {
  return {TKind::kOption, name, value, ""};
}

std::string Describe(const TOptionCalls& calls) {
  std::string text;
  for (const TOptionCall& c : calls)
    text += (c.kind == TKind::kTarget ? "target:" : "") + c.name + "=" + c.value + "|" +
            c.fallback_norm + "\n";
  return text;
}

// The options always passed for a record left at its defaults.
TOptionCalls AlwaysPassed() {
  return {Opt("alang", ""), Opt("async", "0"), Opt("vsync", "-1"),
          Opt("vlang", ""), Opt("slang", ""),  Opt("isync", "0")};
}

TEST(OutputPlan, DefaultRecordPassesOnlyTheAlwaysAssignedOptions) {
  const TOutputPlan plan = PlanOutputOptions(TOutputOptions{}, 0);
  EXPECT_EQ(plan.before_open, AlwaysPassed()) << Describe(plan.before_open);
  EXPECT_TRUE(plan.after_open.empty());
}

TEST(OutputPlan, FullRecordKeepsTheDispatchOrder) {
  TOutputOptions o;
  o.FileFormat = "mp4";
  o.PacketSize = 2324;
  o.MuxRate = 10080000;
  o.MuxDelay = 0.5f;
  o.MuxPreload = 0.25f;
  o.AudioCodec = "aac";
  o.AudioPreset = "apreset";
  o.DisableAudio = true;
  o.AudioVolume = 0;
  o.AudioChannels = 1;
  o.AudioSampleRate = 22050;
  o.AudioBitrate = 64000;
  o.AudioBitrateTolerance = 1000;
  o.AudioLanguage = "eng";
  o.AudioSyncMethod = 1;
  o.AudioTag = "mp4a";
  o.VideoCodec = "mpeg4";
  o.VideoPreset = "vpreset";
  o.DisableVideo = true;
  o.FrameRate = "25";
  o.FrameSize = "320x240";
  o.FrameAspectRatio = "4:3";
  o.CropTop = 2;
  o.CropBottom = 0;  // not positive: left out
  o.CropLeft = 4;
  o.CropRight = 6;
  o.GroupPictureSize = 12;
  o.VideoBitrate = 800000;
  o.VideoMaxRate = 900000;
  o.VideoMinRate = 100000;
  o.VideoBitrateTolerance = 5000;
  o.VideoBufSize = 65536;
  o.VideoSyncMethod = 2;
  o.VideoTag = "XVID";
  o.VideoFilters = "hflip";
  o.VideoLanguage = "fra";
  o.SubtitleCodec = "mov_text";
  o.SubtitlePreset = "spreset";
  o.DisableSubtitle = true;
  o.SubtitleLanguage = "deu";
  o.InputSync = true;
  o.CopyTimestamp = true;
  o.StartTime = 1500000;
  o.RecordingTime = -250;
  o.Info.Year = 2009;
  o.Info.Track = 3;
  o.Info.Title = "T";
  o.Info.Genre = "G";
  o.TargetType = 3;
  o.NormType = 2;
  o.ExtOptions = "threads=2\r\nmap=0:0\r\nvcodec=libx264\r\nnewvideo=\r\ns=";

  const TOptionCalls expected = {
      {TKind::kTarget, "dvd", "ntsc", "pal"},
      Opt("acodec", "aac"),
      Opt("vcodec", "mpeg4"),
      Opt("scodec", "mov_text"),
      Opt("apre", "apreset"),
      Opt("vpre", "vpreset"),
      Opt("spre", "spreset"),
      Opt("threads", "2"),
      Opt("map", "0:0"),
      Opt("f", "mp4"),
      Opt("packetsize", "2324"),
      Opt("muxrate", "10080000"),
      Opt("muxdelay", "0.5"),
      Opt("muxpreload", "0.25"),
      Opt("an", "1"),
      Opt("vol", "0"),
      Opt("ac", "1"),
      Opt("ar", "22050"),
      Opt("ab", "64000"),
      Opt("abt", "1000"),
      Opt("alang", "eng"),
      Opt("async", "1"),
      Opt("atag", "mp4a"),
      Opt("vn", "1"),
      Opt("r", "25"),
      Opt("aspect", "4:3"),
      Opt("croptop", "2"),
      Opt("cropleft", "4"),
      Opt("cropright", "6"),
      Opt("g", "12"),
      Opt("vb", "800000"),
      Opt("maxrate", "900000"),
      Opt("minrate", "100000"),
      Opt("bt", "5000"),
      Opt("bufsize", "65536"),
      Opt("vsync", "2"),
      Opt("vtag", "XVID"),
      Opt("vlang", "fra"),
      Opt("sn", "1"),
      Opt("slang", "deu"),
      Opt("isync", "1"),
      Opt("copyts", "1"),
      Opt("ss", "1.500000"),
      Opt("t", "-0.000250"),
      Opt("metadata", "year=2009"),
      Opt("metadata", "track=3"),
      Opt("metadata", "title=T"),
      Opt("metadata", "genre=G"),
      Opt("s", "320x240"),
      Opt("vfilters", "hflip"),
  };
  const TOutputPlan plan = PlanOutputOptions(o, 0);
  EXPECT_EQ(plan.before_open, expected) << Describe(plan.before_open);
  // The new video stream takes the pending codec line first, then the defaults.
  const TOptionCalls after = {Opt("vcodec", "libx264"), Opt("vpre", "vpreset"), Opt("s", "320x240"),
                              Opt("vf", "hflip"), Opt("newvideo", "")};
  EXPECT_EQ(plan.after_open, after) << Describe(plan.after_open);
}

TEST(OutputPlan, TargetNormsFollowTheRecord) {
  struct TCase {
    int target, norm, norm_default;
    const char* type;  // "" = no target call
    const char* norm_text;
    const char* fallback;
  };
  const TCase cases[] = {
      {0, 1, 1, "", "", ""},
      {4, 1, 1, "", "", ""},
      {1, 0, 1, "vcd", "auto", "pal"},
      {2, 1, 0, "svcd", "pal", "ntsc"},
      {3, 2, 2, "dvd", "ntsc", "ntsc"},
      {3, 7, 1, "dvd", "auto", "pal"},
  };
  for (const TCase& c : cases) {
    TOutputOptions o;
    o.TargetType = c.target;
    o.NormType = c.norm;
    o.NormDefault = c.norm_default;
    const TOptionCalls calls = PlanOutputOptions(o, 0).before_open;
    if (!*c.type) {
      EXPECT_EQ(calls, AlwaysPassed()) << c.target;
      continue;
    }
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front(), (TOptionCall{TKind::kTarget, c.type, c.norm_text, c.fallback}))
        << Describe(calls);
  }
}

// The extra lines that name stream defaults: the first one fills an empty record field,
// every one waits for the stream added after it, and a new stream without a waiting line
// takes the default.
TEST(OutputPlan, StreamLinesFillDefaultsAndFeedNewStreams) {
  struct TCase {
    const char* name;
    const char* audio_codec;
    const char* video_filters;
    const char* ext;
    TOptionCalls before;  // the calls other than the always-passed ones
    TOptionCalls after;
  };
  const TCase cases[] = {
      {"two codecs for three streams",
       "",
       "",
       "acodec=mp2\nnewaudio=\nacodec=ac3\nnewaudio=",
       {Opt("acodec", "mp2")},
       {Opt("acodec", "mp2"), Opt("newaudio", ""), Opt("acodec", "ac3"), Opt("newaudio", "")}},
      {"record codec wins the first stream",
       "aac",
       "",
       "acodec=mp2\nnewaudio=",
       {Opt("acodec", "aac")},
       {Opt("acodec", "mp2"), Opt("newaudio", "")}},
      {"new stream without lines takes the default",
       "aac",
       "",
       "newaudio=\nnewaudio=",
       {Opt("acodec", "aac")},
       {Opt("acodec", "aac"), Opt("newaudio", ""), Opt("acodec", "aac"), Opt("newaudio", "")}},
      {"filter line is the default chain",
       "",
       "",
       "VFilters=scale=64:48",
       {Opt("vfilters", "scale=64:48")},
       {}},
      {"record chain wins over the line",
       "",
       "hflip",
       "vfilters=vflip\nnewvideo=",
       {Opt("vfilters", "hflip")},
       {Opt("vf", "vflip"), Opt("newvideo", "")}},
      {"empty values are not taken", "", "", "acodec=\nvf=\nnewaudio=", {}, {Opt("newaudio", "")}},
      {"subtitle stream takes codec and preset",
       "",
       "",
       "scodec=mov_text\nspre=p\nnewsubtitle=x",
       {Opt("scodec", "mov_text"), Opt("spre", "p")},
       {Opt("scodec", "mov_text"), Opt("spre", "p"), Opt("newsubtitle", "x")}},
  };
  for (const TCase& c : cases) {
    TOutputOptions o;
    o.AudioCodec = c.audio_codec;
    o.VideoFilters = c.video_filters;
    o.ExtOptions = c.ext;
    const TOutputPlan plan = PlanOutputOptions(o, 0);
    // Codecs and presets lead; the size and the filter chain close the list.
    TOptionCalls before;
    TOptionCalls tail;
    for (const TOptionCall& call : c.before)
      (call.name == "vfilters" || call.name == "s" ? tail : before).push_back(call);
    for (const TOptionCall& call : AlwaysPassed()) before.push_back(call);
    before.insert(before.end(), tail.begin(), tail.end());
    EXPECT_EQ(plan.before_open, before) << c.name << "\n" << Describe(plan.before_open);
    EXPECT_EQ(plan.after_open, c.after) << c.name << "\n" << Describe(plan.after_open);
  }
}

TEST(InputPlan, PassesExtraLinesThenTheRecordFields) {
  TInputOptions in;
  in.ExtOptions =
      "acodec=mp3\r\nnewaudio=\r\nApre=x\r\nvfilters=hflip\r\nvf=vflip\r\n\r\nitsoffset=2<CRLF>s="
      "qcif";
  in.FileFormat = "avi";
  in.StartTime = 2000001;
  in.ProgramID = 0;
  const TOptionCalls expected = {Opt("acodec", "mp3"),  Opt("itsoffset", "2"),
                                 Opt("s", "qcif"),      Opt("f", "avi"),
                                 Opt("ss", "2.000001"), Opt("programid", "0")};
  EXPECT_EQ(PlanInputOptions(in), expected) << Describe(PlanInputOptions(in));
  EXPECT_TRUE(PlanInputOptions(TInputOptions{}).empty());
}

// Sets the process's time zone for one test.
class TZone {
 public:
  explicit TZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) old_ = old, had_ = true;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~TZone() {
    if (had_)
      setenv("TZ", old_.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

 private:
  std::string old_;
  bool had_ = false;
};

TEST(StreamInfo, LocalDateTimesBecomeUtcSeconds) {
  struct TCase {
    const char* zone;
    double date_time;
    std::int64_t seconds;
  };
  const TCase cases[] = {
      {"UTC0", 25569.0, 0},
      {"UTC0", 25569.5, 43200},
      {"UTC0", 25569.0 + 1.0 / 86400 * 0.6, 1},             // rounded to the second
      {"CET-1CEST,M3.5.0,M10.5.0/3", 40179.0, 1262300400},  // 2010-01-01 00:00 winter
      {"CET-1CEST,M3.5.0,M10.5.0/3", 40360.0, 1277935200},  // 2010-07-01 00:00 summer
      {"EST5EDT,M3.2.0,M11.1.0", 40179.5, 1262365200},      // 2010-01-01 12:00
  };
  for (const TCase& c : cases) {
    TZone zone(c.zone);
    EXPECT_EQ(LocalDateTimeToUnixSeconds(c.date_time), c.seconds) << c.zone << " " << c.date_time;
  }
}

using PlanThroughDispatcher = test::OptionTest;

// The texts the plan writes are read back by the dispatcher as the record meant them.
TEST_F(PlanThroughDispatcher, ValuesArriveExactly) {
  TZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
  TOutputOptions o;
  o.StartTime = 1234567;
  o.RecordingTime = 98765432101;
  o.MuxDelay = 0.3f;
  o.AudioVolume = 512;
  o.InputSync = true;
  o.Info.TimeStamp = 40360.25;  // 2010-07-01 06:00 local summer time
  o.Info.Year = 1999;
  o.Info.Album = "A=B";
  o.Info.Comment = "line";
  o.FrameSize = "qcif";
  o.VideoFilters = "hflip";
  ApplyOptionCalls(engine_, PlanOutputOptions(o, 0).before_open);
  const TOptionState& s = engine_.Options();
  EXPECT_EQ(s.start_time_us, 1234567);
  EXPECT_EQ(s.recording_time_us, 98765432101);
  EXPECT_EQ(s.total_duration_us, 98765432101);
  EXPECT_NEAR(s.mux_delay_s, 0.3, 1e-6);
  EXPECT_EQ(s.audio_volume, 512);
  EXPECT_TRUE(s.input_sync);
  EXPECT_EQ(s.rec_timestamp_s, 1277956800);  // 04:00 UTC
  const std::vector<std::pair<std::string, std::string>> metadata = {
      {"year", "1999"}, {"comment", "line"}, {"album", "A=B"}};
  EXPECT_EQ(s.metadata, metadata);
  EXPECT_EQ(s.frame_width, 176);
  EXPECT_EQ(s.vfilters, "hflip");

  TOutputOptions now;
  now.Info.TimeStamp = 0;
  engine_.ResetOptions();
  ApplyOptionCalls(engine_, PlanOutputOptions(now, 1262304000).before_open);
  EXPECT_EQ(engine_.Options().rec_timestamp_s, 1262304000);
}

TEST_F(PlanThroughDispatcher, TargetCallReachesTheTargetHandler) {
  TOutputOptions o;
  o.TargetType = 1;
  o.NormType = 1;
  ApplyOptionCalls(engine_, PlanOutputOptions(o, 0).before_open);
  EXPECT_EQ(engine_.Options().file_format, "vcd");
  EXPECT_EQ(engine_.Options().frame_width, 352);
  EXPECT_EQ(engine_.Options().audio_codec_name, "mp2");
}

}  // namespace
}  // namespace kestrel
