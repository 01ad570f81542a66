// kestrel-cli info: what the media probe reports about files, as text or JSON.
#include <cstdio>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "cli/command_registry.h"
#include "medialib/library_loader.h"
#include "medialib/text_utils.h"
#include "probe/av_probe.h"

namespace kestrel::cli {

namespace {

constexpr const char* kInfoHelp =
    "Usage: kestrel-cli info [--json] [--] FILE...\n"
    "\n"
    "Probes each FILE and prints its container and stream information.\n"
    "A file that cannot be probed is reported on standard error and the others\n"
    "are still probed.\n"
    "\n"
    "Options:\n"
    "  --json     print one JSON array with, per probed file, the file record and\n"
    "             the record of every stream (for scripts)\n"
    "  --         end of options; later arguments are file names even when they\n"
    "             begin with '-'\n"
    "  -h, --help show this text\n"
    "\n"
    "Exit status: 0 when every file was probed, 1 when one or more could not be,\n"
    "2 on a usage error.\n";

struct InfoOptions {
  bool json = false;
  std::vector<std::string> files;
};

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

// Collects "key": value members of one JSON object.
class JsonObject {
 public:
  JsonObject& Add(const char* key, const std::string& value) { return Raw(key, JsonString(value)); }
  template <typename Integer>
  requires std::is_integral_v<Integer> JsonObject& Add(const char* key, Integer value) {
    return Raw(key, std::to_string(value));
  }
  JsonObject& Add(const char* key, float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", static_cast<double>(value));
    return Raw(key, text);
  }
  JsonObject& Raw(const char* key, const std::string& json) {
    members_ += (members_.empty() ? "" : ", ") + JsonString(key) + ": " + json;
    return *this;
  }
  std::string Text() const { return "{" + members_ + "}"; }

 private:
  std::string members_;
};

std::string FileRecordJson(const TFileStreamInfo& info) {
  return JsonObject()
      .Add("StartTime", info.StartTime)
      .Add("Duration", info.Duration)
      .Add("BitRate", info.BitRate)
      .Add("TimeStamp", info.TimeStamp)
      .Add("Year", info.Year)
      .Add("Track", info.Track)
      .Add("Title", info.Title)
      .Add("Author", info.Author)
      .Add("Copyright", info.Copyright)
      .Add("Comment", info.Comment)
      .Add("Album", info.Album)
      .Add("Genre", info.Genre)
      .Text();
}

template <typename Record>
JsonObject& AddCommonStreamFields(JsonObject& object, const Record& info) {
  return object.Add("Language", info.Language)
      .Add("CodecName", info.CodecName)
      .Add("StartTime", info.StartTime)
      .Add("StartTimeUS", info.StartTimeUS)
      .Add("Duration", info.Duration)
      .Add("DurationUS", info.DurationUS)
      .Add("BitRate", info.BitRate);
}

std::string StreamJson(TAVProbe& probe, int index) {
  JsonObject object;
  object.Add("Index", index);
  if (probe.IsVideoStream(index)) {
    TVideoStreamInfo info;
    probe.GetVideoStreamInfo(index, info);
    AddCommonStreamFields(object.Add("Type", std::string("Video")), info)
        .Add("Height", info.Height)
        .Add("Width", info.Width)
        .Add("DisplayAspectRatio", info.DisplayAspectRatio)
        .Add("PixelFormat", info.PixelFormat)
        .Add("FrameRateNum", info.FrameRateNum)
        .Add("FrameRateDen", info.FrameRateDen);
  } else if (probe.IsAudioStream(index)) {
    TAudioStreamInfo info;
    probe.GetAudioStreamInfo(index, info);
    AddCommonStreamFields(object.Add("Type", std::string("Audio")), info)
        .Add("Channels", info.Channels)
        .Add("SampleRate", info.SampleRate)
        .Add("SampleFormat", info.SampleFormat);
  } else {
    object.Add("Type", MediaTypeName(probe.StreamType(index)));
  }
  return object.Text();
}

std::string ProbeJson(TAVProbe& probe) {
  TFileStreamInfo file;
  probe.GetFileStreamInfo(file);
  std::string streams;
  for (int i = 0; i < probe.StreamCount(); ++i) streams += (i ? ", " : "") + StreamJson(probe, i);
  return JsonObject()
      .Add("FileName", probe.FileName())
      .Add("FormatName", probe.FormatName())
      .Add("FileSize", probe.FileSize())
      .Add("StreamCount", probe.StreamCount())
      .Add("ProgramCount", probe.ProgramCount())
      .Add("VideoStreamCount", probe.VideoStreamCount())
      .Add("AudioStreamCount", probe.AudioStreamCount())
      .Add("SubtitleStreamCount", probe.SubtitleStreamCount())
      .Add("FirstVideoStreamIndex", probe.FirstVideoStreamIndex())
      .Add("FirstAudioStreamIndex", probe.FirstAudioStreamIndex())
      .Add("FirstSubtitleStreamIndex", probe.FirstSubtitleStreamIndex())
      .Add("DefaultStreamIndex", probe.DefaultStreamIndex())
      .Raw("File", FileRecordJson(file))
      .Raw("Streams", "[" + streams + "]")
      .Text();
}

// The text with Unix line ends, as a terminal expects.
std::string UnixLines(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text)
    if (c != '\r') out += c;
  return out;
}

// Returns 0, or 2 after printing the problem.
int ParseArguments(const std::vector<std::string>& args, InfoOptions& options, bool& help) {
  bool options_ended = false;
  for (const std::string& arg : args) {
    if (!options_ended && arg == "--") {
      options_ended = true;
    } else if (!options_ended && (arg == "--help" || arg == "-h")) {
      help = true;
    } else if (!options_ended && arg == "--json") {
      options.json = true;
    } else if (!options_ended && arg.size() > 1 && arg[0] == '-') {
      std::fprintf(stderr, "kestrel-cli info: unknown option '%s'\n", arg.c_str());
      return 2;
    } else {
      options.files.push_back(arg);
    }
  }
  if (!help && options.files.empty()) {
    std::fprintf(stderr, "kestrel-cli info: no file given\n%s", kInfoHelp);
    return 2;
  }
  return 0;
}

int RunInfo(const std::vector<std::string>& args) {
  InfoOptions options;
  bool help = false;
  if (int status = ParseArguments(args, options, help); status != 0) return status;
  if (help) {
    std::fputs(kInfoHelp, stdout);
    return 0;
  }
  if (!LoadLibs(kProbeLibs)) {
    std::fprintf(stderr, "kestrel-cli info: %s\n", LastError().c_str());
    return 1;
  }

  int status = 0;
  std::string json;
  TAVProbe probe;
  for (const std::string& file : options.files) {
    if (!probe.LoadFile(file)) {
      std::fprintf(stderr, "%s\n", probe.LastErrMsg().c_str());
      status = 1;
      continue;
    }
    if (options.json) {
      json += (json.empty() ? "[\n  " : ",\n  ") + ProbeJson(probe);
    } else {
      std::string text;
      probe.GetFileInfoText(text);
      std::fputs(UnixLines(text).c_str(), stdout);
      std::fputs("\n", stdout);
    }
    probe.CloseFile();
  }
  if (options.json) std::fputs((json.empty() ? "[]\n" : json + "\n]\n").c_str(), stdout);
  return status;
}

const CommandRegistrar kInfoCommand("info", "print container and stream information of media files",
                                    RunInfo);

}  // namespace

}  // namespace kestrel::cli
