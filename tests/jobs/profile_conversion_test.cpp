// Every profile of the shipped catalogue converts a short clip at its default settings,
// and the output is what the profile promises: container, codecs, frame size, sample
// rate and channel count, as ffprobe reads them. The options are prepared the way a real
// run prepares them and the conversion runs on the task component.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/encoder_names.h"
#include "engine/ffmpeg_tasks.h"
#include "jobs/frame_hook.h"
#include "jobs/option_text.h"
#include "jobs/profile_defaults.h"
#include "jobs/run_plan.h"
#include "medialib/library_loader.h"
#include "medialib/main_thread.h"
#include "settings/catalogue_keys.h"
#include "settings/ini_document.h"
#include "settings/list_items.h"
#include "settings/profile_table.h"
#include "tests/jobs/jobs_test_files.h"
#include "tests/support/fixtures.h"

namespace kestrel::jobs {
namespace {

using settings::IniFile;
using settings::ProfileSetting;

const std::string kCatalogue = std::string(KESTREL_SOURCE_DIR) + "/resources/kestrelxboxformat.ini";

// Two seconds of 320x240 pictures at 25 fps and a stereo tone.
std::string SourceClip() {
  return test::MakeFixture("profiles_source.avi",
                           "-f lavfi -i testsrc=size=320x240:rate=25:duration=2 "
                           "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=2 "
                           "-ac 2 -c:v mpeg4 -q:v 3 -c:a pcm_s16le");
}
constexpr int kSourceChannels = 2;
constexpr double kSourceSeconds = 2.0;

// ---- What the catalogue's defaults ask for ----

// The item a list offers by default; nullopt when the setting does not apply.
std::optional<std::string> DefaultItem(const IniFile& catalogue, int code, ProfileSetting setting) {
  const settings::ChoiceList list = settings::ReadChoiceList(catalogue, code, setting);
  const int index = settings::ReadDefaultIndex(catalogue, code, setting);
  if (!list.applies || !list.HasIndex(index)) return std::nullopt;
  return list.items[index];
}

// The "para" values the Default button stores for the profile: each list's default item,
// the encoder, channel and volume items mapped to what the boxes store, zoom "full".
std::map<ProfileSetting, std::string> DefaultParas(const IniFile& catalogue, int code) {
  std::map<ProfileSetting, std::string> paras;
  for (ProfileSetting setting : settings::kChoiceSettings) {
    const auto item = DefaultItem(catalogue, code, setting);
    if (!item) continue;
    std::optional<std::string> value = *item;
    if (setting == ProfileSetting::kVideoEncoder) value = settings::VideoEncoderForItem(*item);
    if (setting == ProfileSetting::kAudioEncoder) value = settings::AudioEncoderForItem(*item);
    if (setting == ProfileSetting::kChannel) value = settings::ChannelForItem(*item);
    if (setting == ProfileSetting::kVolume) {
      const auto percent = settings::VolumeItemPercent(*item);
      value = percent ? settings::VolumeForPercent(*percent) : std::nullopt;
    }
    if (value) paras[setting] = *value;
  }
  paras[ProfileSetting::kZoom] = "full";
  return paras;
}

std::string ParaOr(const std::map<ProfileSetting, std::string>& paras, ProfileSetting setting) {
  const auto it = paras.find(setting);
  return it == paras.end() ? std::string() : it->second;
}

// What the output must be, as ffprobe names it.
struct TPromise {
  std::string format_name;  // the demuxer that reads the output
  std::string brand;        // major brand of the ISO media family; empty for others
  bool video = false;
  std::string video_codec;
  int data_streams = 0;
  int width = 0;
  int height = 0;
  std::string audio_codec;
  int sample_rate = 0;
  int channels = 0;
};

struct TContainer {
  const char* muxer;
  const char* format_name;
  const char* brand;
};

constexpr const char* kIsoFamily = "mov,mp4,m4a,3gp,3g2,mj2";

// The muxers the profiles write, with how ffprobe reads their files back.
const std::vector<TContainer>& Containers() {
  static const std::vector<TContainer> kTable = {
      {"mp4", kIsoFamily, "isom"},
      {"ipod", kIsoFamily, "M4V "},
      {"psp", kIsoFamily, "MSNV"},
      {"mov", kIsoFamily, "qt  "},
      {"3gp", kIsoFamily, "3gp4"},
      {"3g2", kIsoFamily, "3g2a"},
      {"avi", "avi", ""},
      {"asf", "asf", ""},
      {"flv", "flv", ""},
      {"swf", "swf", ""},
      {"mpeg", "mpeg", ""},
      {"vob", "mpeg", ""},
      {"dvd", "mpeg", ""},
      {"svcd", "mpeg", ""},
      {"vcd", "mpeg", ""},
      {"mpegts", "mpegts", ""},
      {"matroska", "matroska,webm", ""},
      {"dv", "dv", ""},
      {"mp3", "mp3", ""},
      {"adts", "aac", ""},
      {"wav", "wav", ""},
      {"ogg", "ogg", ""},
      {"ac3", "ac3", ""},
  };
  return kTable;
}

// The muxer the libraries pick for a file extension (when the profile names none).
std::string MuxerOfExtension(const std::string& ext, bool video) {
  static const std::map<std::string, std::string> kByExtension = {
      {"mp4", "mp4"},      {"mov", "mov"}, {"3gp", "3gp"},  {"avi", "avi"},  {"wmv", "asf"},
      {"wma", "asf"},      {"flv", "flv"}, {"swf", "swf"},  {"mpg", "mpeg"}, {"ts", "mpegts"},
      {"mkv", "matroska"}, {"dv", "dv"},   {"mp3", "mp3"},  {"aac", "adts"}, {"wav", "wav"},
      {"ogg", "ogg"},      {"ac3", "ac3"}, {"m4a", "ipod"},
  };
  const auto it = kByExtension.find(ext);
  if (it == kByExtension.end()) return "?" + ext;
  // An audio-only file of the ipod muxer is branded as audio.
  return it->second == "ipod" && !video ? "ipod-audio" : it->second;
}

// The disc targets a profile kind selects, and the muxer each writes.
std::optional<std::string> DiscMuxer(const std::string& kind) {
  for (const char* norm : {"ntsc-", "pal-"}) {
    for (const char* disc : {"dvd", "svcd", "vcd"}) {
      if (kind == std::string(norm) + disc) return disc;
    }
  }
  return std::nullopt;
}

// The codec written by an encoder the profiles name, after the engine has replaced the
// names today's libraries lack (AMR-NB, for one, is missing from some builds).
std::string CodecOfEncoder(const std::string& stored) {
  const std::string encoder = ResolveEncoderName(stored, nullptr);
  static const std::map<std::string, std::string> kCodecs = {
      {"libxvid", "mpeg4"},
      {"libx264", "h264"},
      {"libfaac", "aac"},
      {"libmp3lame", "mp3"},
      {"wmav2", "wmav2"},
      {"pcm_s16le", "pcm_s16le"},
      {"libopencore_amrnb", "amr_nb"},
      {"libvorbis", "vorbis"},
      {"vorbis", "vorbis"},
      {"libflac", "flac"},
  };
  const auto it = kCodecs.find(encoder);
  return it == kCodecs.end() ? encoder : it->second;
}

// The video codec a container writes when the profile names no encoder the builder passes
// on (the "flv" item of the Flash profiles).
std::string DefaultVideoCodec(const std::string& muxer) {
  if (muxer == "flv" || muxer == "swf") return "flv1";
  return "?default of " + muxer;
}

constexpr std::array<std::string_view, 21> kBuilderVideoEncoders = {
    "mpeg4",   "libxvid", "mpeg1video", "mpeg2video", "msmpeg4", "msmpeg4v1", "msmpeg4v2",
    "huffyuv", "dvvideo", "rawvideo",   "h263p",      "h263",    "rv10",      "rv20",
    "ljpeg",   "mjpeg",   "svq1",       "zlib",       "wmv1",    "wmv2",      "libx264"};

bool IsBuilderVideoEncoder(const std::string& name) {
  return std::find(kBuilderVideoEncoders.begin(), kBuilderVideoEncoders.end(), name) !=
         kBuilderVideoEncoders.end();
}

const std::vector<std::string_view> kContainerKinds = {"ipod", "3gp", "3g2", "avi",    "psp",
                                                       "mov",  "vcd", "flv", "mpegts", "vob"};

TPromise PromiseOf(const IniFile& catalogue, int code) {
  const auto paras = DefaultParas(catalogue, code);
  const std::string kind = Lower(settings::ReadFormat(catalogue, code));
  const std::string ext = settings::ReadFileExt(catalogue, code);
  TPromise p;
  const std::string video_encoder = ParaOr(paras, ProfileSetting::kVideoEncoder);
  p.video = !video_encoder.empty();

  // The extension's muxer, replaced by a disc target's, replaced by the container a video
  // profile names. MPEG-2 video selects the DVD target unless the profile is an SVCD or
  // names a container that is not a program stream.
  const bool own_container = p.video && std::find(kContainerKinds.begin(), kContainerKinds.end(),
                                                  kind) != kContainerKinds.end();
  std::string muxer = MuxerOfExtension(ext, p.video);
  if (auto disc = DiscMuxer(kind)) muxer = *disc;
  if (video_encoder == "mpeg2video" && muxer != "svcd" &&
      (!own_container || kind == "vob" || kind == "vcd")) {
    muxer = "dvd";
  }
  if (own_container) muxer = kind;
  // The DVD muxer writes navigation packets, which ffprobe shows as a data stream.
  if (muxer == "dvd") p.data_streams = 1;
  if (muxer == "ipod-audio") {
    p.format_name = kIsoFamily;
    p.brand = "M4A ";
  }
  for (const TContainer& c : Containers()) {
    if (muxer == c.muxer) {
      p.format_name = c.format_name;
      p.brand = c.brand;
    }
  }
  if (p.format_name.empty()) p.format_name = "?" + muxer;

  if (p.video) {
    p.video_codec = IsBuilderVideoEncoder(video_encoder) ? CodecOfEncoder(video_encoder)
                                                         : DefaultVideoCodec(muxer);
    const std::string size = ParaOr(paras, ProfileSetting::kVideoSize);
    const size_t x = size.find('x');
    p.width = std::atoi(size.substr(0, x).c_str());
    p.height = x == std::string::npos ? 0 : std::atoi(size.substr(x + 1).c_str());
  }
  p.audio_codec = CodecOfEncoder(ParaOr(paras, ProfileSetting::kAudioEncoder));
  p.sample_rate = std::atoi(ParaOr(paras, ProfileSetting::kSampleRate).c_str());
  const std::string channels = ParaOr(paras, ProfileSetting::kChannel);
  p.channels = channels == "as source" ? kSourceChannels : std::atoi(channels.c_str());
  return p;
}

// ---- ffprobe's view ----

struct TProbedStream {
  std::string codec;
  int width = 0, height = 0;
  int sample_rate = 0, channels = 0;
};

struct TProbed {
  std::string format_name;
  std::string brand;
  std::optional<double> duration;  // none when the container does not tell
  std::vector<TProbedStream> video, audio, data;
};

TProbed ProbeOutput(const std::string& path) {
  const auto values = test::Ffprobe(path);
  auto value = [&](const std::string& key) {
    const auto it = values.find(key);
    return it == values.end() ? std::string() : it->second;
  };
  TProbed probed;
  probed.format_name = value("format.format_name");
  probed.brand = value("format.tags.major_brand");
  const std::string duration = value("format.duration");
  if (!duration.empty() && duration != "N/A") probed.duration = std::atof(duration.c_str());
  for (int i = 0;; ++i) {
    const std::string prefix = "streams.stream." + std::to_string(i) + ".";
    const std::string type = value(prefix + "codec_type");
    if (type.empty()) break;
    TProbedStream s{value(prefix + "codec_name"), std::atoi(value(prefix + "width").c_str()),
                    std::atoi(value(prefix + "height").c_str()),
                    std::atoi(value(prefix + "sample_rate").c_str()),
                    std::atoi(value(prefix + "channels").c_str())};
    if (type == "video") probed.video.push_back(s);
    if (type == "audio") probed.audio.push_back(s);
    if (type == "data") probed.data.push_back(s);
  }
  return probed;
}

// ---- The conversion ----

class ProfileConversion : public testing::TestWithParam<int> {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(LoadLibs(kEngineLibs)) << LastError(); }

  void SetUp() override {
    SetMainThreadDispatcher(&main_thread_);
    folder_ = test::FreshTestFolder();
  }
  void TearDown() override { SetMainThreadDispatcher(nullptr); }

  // Prepares the profile's job as Start does, with the profile at its catalogue defaults.
  TPreparedJob Prepare(int code, TJobList& list) {
    IniFile settings(folder_ + "/settings.ini");
    EXPECT_TRUE(settings.WriteEntries({{"settings", "OutPutDir", folder_ + "/out"},
                                       {"settings", "FormatCode", std::to_string(code)}}))
        << settings.LastErrMsg();
    // What the Default button writes, as a profile the user never tuned gets it.
    EXPECT_TRUE(WriteProfileDefaults(catalogue_, settings, code)) << settings.LastErrMsg();

    const std::string source = SourceClip();
    const TAddReport added = list.Add({source}, settings, catalogue_);
    EXPECT_EQ(added.added, 1);
    const TRunPlan plan = PrepareRun(list, {settings, catalogue_, {}, {}});
    EXPECT_EQ(plan.error, "");
    EXPECT_TRUE(plan.skipped.empty());
    if (plan.jobs.size() != 1) {
      ADD_FAILURE() << "no job prepared";
      return {};
    }
    return plan.jobs[0];
  }

  // Runs the job on the task component with the conversion hook; the termination record.
  TTerminateInfo Convert(const TPreparedJob& job, const TJobList& list) {
    TFFmpegTasks tasks;
    std::optional<TTerminateInfo> task_end;
    bool run_end = false;
    std::mutex mutex;
    tasks.SetOnTerminate([&](TCustomFFmpegTasks&, const TTerminateInfo& info) {
      std::lock_guard<std::mutex> lock(mutex);
      if (info.TaskIndex == -1) run_end = true;
      if (info.TaskIndex == 0) task_end = info;
    });
    const TConversionHook hook(TaskRowsLookup(list, {job.row}));
    tasks.SetOnCustomHook([&](TCustomFFmpegTasks&, PHookInfo info) { hook(*info); });

    const int index = tasks.AddTask(job.input.FileName, &job.input);
    if (index != 0) {
      ADD_FAILURE() << "AddTask: " << tasks.LastErrMsg();
      return {};
    }
    if (!tasks.SetOutputFile(index, job.destination, &job.output)) {
      ADD_FAILURE() << "SetOutputFile: " << tasks.LastErrMsg();
      return {};
    }
    tasks.StartTask(1);
    const bool ended = WaitInSlices(
        [&] {
          std::lock_guard<std::mutex> lock(mutex);
          return run_end;
        },
        std::chrono::seconds(120));
    EXPECT_TRUE(ended) << "the conversion did not end";
    std::lock_guard<std::mutex> lock(mutex);
    if (!task_end) {
      ADD_FAILURE() << "no termination of the task";
      return {};
    }
    return *task_end;
  }

  std::string folder_;
  const IniFile catalogue_{kCatalogue};
  TQueuedMainThread main_thread_;
};

TEST_P(ProfileConversion, WritesWhatTheProfilePromises) {
  const int code = GetParam();
  const TPromise promise = PromiseOf(catalogue_, code);
  TJobList list;
  const TPreparedJob job = Prepare(code, list);
  if (HasFailure()) return;

  const TTerminateInfo end = Convert(job, list);
  ASSERT_FALSE(end.Exception) << end.ExceptionMsg;
  ASSERT_TRUE(end.Finished);
  ASSERT_TRUE(std::filesystem::exists(job.destination)) << job.destination;

  const TProbed out = ProbeOutput(job.destination);
  EXPECT_EQ(out.format_name, promise.format_name);
  EXPECT_EQ(out.brand, promise.brand);
  if (out.duration) {
    EXPECT_NEAR(*out.duration, kSourceSeconds, 0.5);
  }
  EXPECT_EQ(out.data.size(), static_cast<size_t>(promise.data_streams));

  if (promise.video) {
    ASSERT_EQ(out.video.size(), 1u);
    EXPECT_EQ(out.video[0].codec, promise.video_codec);
    EXPECT_EQ(out.video[0].width, promise.width);
    EXPECT_EQ(out.video[0].height, promise.height);
  } else {
    EXPECT_TRUE(out.video.empty());
  }
  ASSERT_EQ(out.audio.size(), 1u);
  EXPECT_EQ(out.audio[0].codec, promise.audio_codec);
  EXPECT_EQ(out.audio[0].sample_rate, promise.sample_rate);
  EXPECT_EQ(out.audio[0].channels, promise.channels);
}

INSTANTIATE_TEST_SUITE_P(Catalogue, ProfileConversion, testing::ValuesIn(settings::ListedCodes()),
                         [](const testing::TestParamInfo<int>& info) {
                           return "Code" + std::to_string(info.param);
                         });

}  // namespace
}  // namespace kestrel::jobs
