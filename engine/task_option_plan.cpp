#include "engine/task_option_plan.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>

#include "engine/ext_options.h"
#include "engine/ffmpeg_options.h"

namespace kestrel {
namespace {

bool IsOneOf(const std::string& name, std::initializer_list<const char*> names) {
  return std::any_of(names.begin(), names.end(), [&](const char* n) { return name == n; });
}

// Lines that add streams, and the per-stream defaults those streams take from the list.
bool IsStreamAdder(const std::string& name) {
  return IsOneOf(name, {"newvideo", "newaudio", "newsubtitle"});
}
bool IsPresetOrFilter(const std::string& name) {
  return IsOneOf(name, {"apre", "vpre", "spre", "vfilters", "vf"});
}
bool IsStreamDefault(const std::string& name) {
  return IsOneOf(name, {"acodec", "vcodec", "scodec", "apre", "vpre", "spre", "s", "vf"});
}

// The names, in order, that a new stream of each kind takes from the list.
const std::vector<const char*>& NamesTakenBy(const std::string& adder) {
  static const std::vector<const char*> kAudio = {"acodec", "apre"};
  static const std::vector<const char*> kVideo = {"vcodec", "vpre", "s", "vf"};
  static const std::vector<const char*> kSubtitle = {"scodec", "spre"};
  if (adder == "newaudio") return kAudio;
  if (adder == "newvideo") return kVideo;
  return kSubtitle;
}

// Durations and times as the dispatcher reads them: seconds with six decimals.
std::string MicrosecondsText(std::int64_t us) {
  const std::uint64_t magnitude =
      us < 0 ? 0 - static_cast<std::uint64_t>(us) : static_cast<std::uint64_t>(us);
  char text[48];
  std::snprintf(text, sizeof text, "%s%" PRIu64 ".%06" PRIu64, us < 0 ? "-" : "",
                magnitude / 1000000, magnitude % 1000000);
  return text;
}

std::string FloatText(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
  return text;
}

// A UTC date the dispatcher's "timestamp" reads exactly.
std::string UtcDateText(std::int64_t seconds) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm utc{};
  gmtime_r(&t, &utc);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
  return text;
}

// The stream defaults: the record's fields, then what the extra lines add.
class TStreamDefaults {
 public:
  explicit TStreamDefaults(const TOutputOptions& o) {
    defaults_ = {{"acodec", o.AudioCodec}, {"vcodec", o.VideoCodec}, {"scodec", o.SubtitleCodec},
                 {"apre", o.AudioPreset},  {"vpre", o.VideoPreset},  {"spre", o.SubtitlePreset},
                 {"s", o.FrameSize},       {"vf", o.VideoFilters}};
  }

  // A line naming a stream default with a value: fills an empty default and waits, in
  // line order, for the stream it belongs to.
  void Take(std::string name, const std::string& value) {
    if (name == "vfilters") name = "vf";
    if (!IsStreamDefault(name) || value.empty()) return;
    std::string& def = Slot(name);
    if (def.empty()) def = value;
    pending_.push_back({name, value});
  }

  const std::string& Default(const std::string& name) const {
    for (const auto& [n, v] : defaults_)
      if (n == name) return v;
    static const std::string kNone;
    return kNone;
  }

  // The first pending value of that name (removed), else the default.
  std::string Next(const std::string& name) {
    for (auto it = pending_.begin(); it != pending_.end(); ++it) {
      if (it->first != name) continue;
      std::string value = it->second;
      pending_.erase(it);
      return value;
    }
    return Default(name);
  }

 private:
  std::string& Slot(const std::string& name) {
    for (auto& [n, v] : defaults_)
      if (n == name) return v;
    return defaults_.emplace_back(name, "").second;
  }

  std::vector<std::pair<std::string, std::string>> defaults_;
  std::vector<std::pair<std::string, std::string>> pending_;
};

class TCallList {
 public:
  explicit TCallList(TOptionCalls& calls) : calls_(calls) {}
  void Set(const std::string& name, const std::string& value) {
    calls_.push_back({TOptionCall::TKind::kOption, name, value, ""});
  }
  // An empty text leaves the option as it is (a target may have set it).
  void SetText(const std::string& name, const std::string& value) {
    if (!value.empty()) Set(name, value);
  }
  void SetPositive(const std::string& name, std::int32_t value) {
    if (value > 0) Set(name, std::to_string(value));
  }
  void SetPositive(const std::string& name, float value) {
    if (value > 0) Set(name, FloatText(value));
  }
  void SetFlag(const std::string& name, bool value) {
    if (value) Set(name, "1");
  }
  void SetTime(const std::string& name, std::int64_t us) {
    if (us != kNoTimestamp) Set(name, MicrosecondsText(us));
  }

 private:
  TOptionCalls& calls_;
};

void PlanTarget(const TOutputOptions& o, TOptionCalls& calls) {
  static const char* const kTypes[] = {"vcd", "svcd", "dvd"};
  if (o.TargetType < 1 || o.TargetType > 3) return;
  const char* norm = o.NormType == 1 ? "pal" : o.NormType == 2 ? "ntsc" : "auto";
  const char* fallback = o.NormDefault == 1 ? "pal" : "ntsc";
  calls.push_back({TOptionCall::TKind::kTarget, kTypes[o.TargetType - 1], norm, fallback});
}

void PlanStreamInfo(const TStreamInfo& info, std::time_t now, TCallList& list) {
  if (info.TimeStamp == 0) {
    list.Set("timestamp", UtcDateText(now));
  } else if (info.TimeStamp > 0) {
    list.Set("timestamp", UtcDateText(LocalDateTimeToUnixSeconds(info.TimeStamp)));
  }
  if (info.Year > 0) list.Set("metadata", "year=" + std::to_string(info.Year));
  if (info.Track > 0) list.Set("metadata", "track=" + std::to_string(info.Track));
  const std::pair<const char*, const std::string*> texts[] = {
      {"title", &info.Title},     {"author", &info.Author}, {"copyright", &info.Copyright},
      {"comment", &info.Comment}, {"album", &info.Album},   {"genre", &info.Genre}};
  for (const auto& [key, text] : texts)
    if (!text->empty()) list.Set("metadata", std::string(key) + "=" + *text);
}

// The record's own fields, in the record's order.
void PlanPlainFields(const TOutputOptions& o, std::time_t now, TCallList& list) {
  list.SetText("f", o.FileFormat);
  list.SetPositive("packetsize", o.PacketSize);
  list.SetPositive("muxrate", o.MuxRate);
  list.SetPositive("muxdelay", o.MuxDelay);
  list.SetPositive("muxpreload", o.MuxPreload);
  list.SetFlag("an", o.DisableAudio);
  if (o.AudioVolume >= 0) list.Set("vol", std::to_string(o.AudioVolume));
  list.SetPositive("ac", o.AudioChannels);
  list.SetPositive("ar", o.AudioSampleRate);
  list.SetPositive("ab", o.AudioBitrate);
  list.SetPositive("abt", o.AudioBitrateTolerance);
  list.Set("alang", o.AudioLanguage);
  list.Set("async", std::to_string(o.AudioSyncMethod));
  list.SetText("atag", o.AudioTag);
  list.SetFlag("vn", o.DisableVideo);
  list.SetText("r", o.FrameRate);
  list.SetText("aspect", o.FrameAspectRatio);
  list.SetPositive("croptop", o.CropTop);
  list.SetPositive("cropbottom", o.CropBottom);
  list.SetPositive("cropleft", o.CropLeft);
  list.SetPositive("cropright", o.CropRight);
  list.SetPositive("g", o.GroupPictureSize);
  list.SetPositive("vb", o.VideoBitrate);
  list.SetPositive("maxrate", o.VideoMaxRate);
  list.SetPositive("minrate", o.VideoMinRate);
  list.SetPositive("bt", o.VideoBitrateTolerance);
  list.SetPositive("bufsize", o.VideoBufSize);
  list.Set("vsync", std::to_string(o.VideoSyncMethod));
  list.SetText("vtag", o.VideoTag);
  list.Set("vlang", o.VideoLanguage);
  list.SetFlag("sn", o.DisableSubtitle);
  list.Set("slang", o.SubtitleLanguage);
  list.Set("isync", o.InputSync ? "1" : "0");
  list.SetFlag("copyts", o.CopyTimestamp);
  list.SetTime("ss", o.StartTime);
  list.SetTime("t", o.RecordingTime);
  PlanStreamInfo(o.Info, now, list);
}

}  // namespace

TOptionCalls PlanInputOptions(const TInputOptions& input) {
  TOptionCalls calls;
  TCallList list(calls);
  for (const TOptionLine& line : SplitOptionLines(input.ExtOptions)) {
    if (line.name.empty() || IsStreamAdder(line.name) || IsPresetOrFilter(line.name)) continue;
    list.Set(line.name, line.value);
  }
  list.SetText("f", input.FileFormat);
  list.SetTime("ss", input.StartTime);
  if (input.ProgramID >= 0) list.Set("programid", std::to_string(input.ProgramID));
  return calls;
}

TOutputPlan PlanOutputOptions(const TOutputOptions& output, std::time_t now) {
  TOutputPlan plan;
  const std::vector<TOptionLine> lines = SplitOptionLines(output.ExtOptions);
  TStreamDefaults defaults(output);
  for (const TOptionLine& line : lines) defaults.Take(line.name, line.value);

  PlanTarget(output, plan.before_open);
  TCallList list(plan.before_open);
  for (const char* name : {"acodec", "vcodec", "scodec", "apre", "vpre", "spre"})
    list.SetText(name, defaults.Default(name));
  for (const TOptionLine& line : lines) {
    if (line.name.empty() || IsStreamAdder(line.name) || IsPresetOrFilter(line.name) ||
        IsStreamDefault(line.name))
      continue;
    list.Set(line.name, line.value);
  }
  PlanPlainFields(output, now, list);
  list.SetText("s", defaults.Default("s"));
  list.SetText("vfilters", defaults.Default("vf"));

  TCallList after(plan.after_open);
  for (const TOptionLine& line : lines) {
    if (!IsStreamAdder(line.name)) continue;
    for (const char* name : NamesTakenBy(line.name)) after.SetText(name, defaults.Next(name));
    after.Set(line.name, line.value);
  }
  return plan;
}

std::int64_t LocalDateTimeToUnixSeconds(double date_time) {
  constexpr double kUnixEpochDays = 25569.0;  // 1970-01-01 counted from 1899-12-30
  // The wall-clock fields of the local date-time, read as if they were UTC ...
  const double as_utc = std::round((date_time - kUnixEpochDays) * 86400.0);
  const std::time_t wall = static_cast<std::time_t>(as_utc);
  std::tm fields{};
  gmtime_r(&wall, &fields);
  // ... then placed in the local zone with the offset (and daylight saving) of that date.
  fields.tm_isdst = -1;
  return static_cast<std::int64_t>(std::mktime(&fields));
}

void ApplyOptionCalls(TFFmpegOptions& engine, const TOptionCalls& calls) {
  for (const TOptionCall& call : calls) {
    if (call.kind == TOptionCall::TKind::kTarget)
      engine.SetTarget(call.name, call.value, call.fallback_norm);
    else
      engine.SetOption(call.name, call.value);
  }
}

}  // namespace kestrel
