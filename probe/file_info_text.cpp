// The probe's multi-line text description of a file: container lines, programs, streams
// and their tags.
#include <mutex>
#include <numeric>
#include <vector>

#include "medialib/av.h"
#include "medialib/library_loader.h"
#include "medialib/text_utils.h"
#include "probe/av_probe.h"
#include "probe/info_text_format.h"
#include "probe/metadata_keys.h"

namespace kestrel {

namespace {

constexpr const char* kLineEnd = "\r\n";

void AddLine(std::string& text, const std::string& line) {
  text += line;
  text += kLineEnd;
}

// Nothing for an absent dictionary or one holding only "language" (shown in the stream
// line); otherwise a "Metadata:" line and one line per entry except "language".
void AppendMetadataBlock(std::string& text, const AVDictionary* tags, const std::string& indent) {
  const int count = tags ? av::av_dict_count(tags) : 0;
  if (count == 0) return;
  const AVDictionaryEntry* first = av::av_dict_get(tags, "", nullptr, AV_DICT_IGNORE_SUFFIX);
  if (count == 1 && std::string(first->key) == "language") return;
  AddLine(text, indent + "Metadata:");
  for (const AVDictionaryEntry* entry = first; entry;
       entry = av::av_dict_get(tags, "", entry, AV_DICT_IGNORE_SUFFIX)) {
    if (std::string(entry->key) == "language") continue;
    std::string key(MetadataDisplayKey(entry->key));
    if (key.size() < 16) key.resize(16, ' ');
    AddLine(text, indent + "  " + key + ": " + entry->value);
  }
}

// The library's one-line codec summary ("Video: h264 (High) ..., 160x120 ...") and the
// codec time base, from a codec context made from the stream's parameters.
struct CodecSummary {
  std::string text;
  AVRational time_base{0, 1};
};

CodecSummary SummariseCodec(const AVCodecParameters* parameters) {
  CodecSummary summary;
  AVCodecContext* codec = av::avcodec_alloc_context3(nullptr);
  if (!codec) return summary;
  if (av::avcodec_parameters_to_context(codec, parameters) >= 0) {
    char line[256] = {};
    av::avcodec_string(line, sizeof line, codec, 0);
    summary.text = line;
    summary.time_base = codec->time_base;
  }
  std::lock_guard<std::mutex> lock(CodecLock());
  av::avcodec_free_context(&codec);
  return summary;
}

// Today's demuxers name a program's provider and name "service_provider" and
// "service_name"; older ones wrote "provider_name" and "name".
std::string ProgramTag(const AVDictionary* tags, const char* key, const char* older_key) {
  std::string value = GetMetadataValue(tags, key, "");
  if (value.empty()) value = GetMetadataValue(tags, older_key, "");
  return value.empty() ? "N/A" : value;
}

bool BothTermsNonZero(AVRational q) {
  return q.num != 0 && q.den != 0;
}

// Rescaling needs a usable time base; 0/0 is read as 1/1 here without touching the stream.
std::int64_t ToMicroseconds(std::int64_t time, AVRational time_base) {
  if (time_base.den == 0)
    time_base = {time_base.num != 0 ? time_base.num : 1, time_base.num != 0 ? time_base.num : 1};
  return av::av_rescale_q(time, time_base, AVRational{1, AV_TIME_BASE});
}

std::string StreamLine(const AVFormatContext* context, int index) {
  const AVStream* stream = context->streams[index];
  const AVCodecParameters* codec = stream->codecpar;
  std::string line = "Stream #" + std::to_string(index);
  char buffer[128];
  if (context->iformat && (context->iformat->flags & AVFMT_SHOW_IDS)) {
    std::snprintf(buffer, sizeof buffer, "[0x%x]", stream->id);
    line += buffer;
  }
  const std::string language = GetMetadataValue(stream->metadata, "language", "");
  if (!language.empty()) line += "(" + language + ")";
  std::int64_t divisor =
      std::gcd<std::int64_t, std::int64_t>(stream->time_base.num, stream->time_base.den);
  if (divisor == 0) divisor = 1;
  std::snprintf(buffer, sizeof buffer, ", %d/%d", static_cast<int>(stream->time_base.num / divisor),
                static_cast<int>(stream->time_base.den / divisor));
  line += buffer;
  const CodecSummary summary = SummariseCodec(codec);
  line += ": " + summary.text;

  if (stream->sample_aspect_ratio.num != 0 &&
      av_cmp_q(stream->sample_aspect_ratio, codec->sample_aspect_ratio) != 0) {
    int dar_num = 0, dar_den = 0;
    av::av_reduce(&dar_num, &dar_den,
                  static_cast<std::int64_t>(codec->width) * stream->sample_aspect_ratio.num,
                  static_cast<std::int64_t>(codec->height) * stream->sample_aspect_ratio.den,
                  1024 * 1024);
    std::snprintf(buffer, sizeof buffer, ", PAR %d:%d DAR %d:%d", stream->sample_aspect_ratio.num,
                  stream->sample_aspect_ratio.den, dar_num, dar_den);
    line += buffer;
  }

  if (codec->codec_type == AVMEDIA_TYPE_VIDEO) {
    if (BothTermsNonZero(stream->avg_frame_rate))
      line += FormatRateValue(av_q2d(stream->avg_frame_rate), "fps");
    if (BothTermsNonZero(stream->r_frame_rate))
      line += FormatRateValue(av_q2d(stream->r_frame_rate), "tbr");
    if (BothTermsNonZero(stream->time_base))
      line += FormatRateValue(1 / av_q2d(stream->time_base), "tbn");
    if (BothTermsNonZero(summary.time_base))
      line += FormatRateValue(1 / av_q2d(summary.time_base), "tbc");
  }

  if (stream->start_time != AV_NOPTS_VALUE)
    line +=
        ", StartTime: " + FormatSecondsMicro(ToMicroseconds(stream->start_time, stream->time_base));
  line += ", Duration: ";
  line += stream->duration == AV_NOPTS_VALUE
              ? std::string("N/A")
              : FormatDuration(ToMicroseconds(stream->duration, stream->time_base));
  return line;
}

}  // namespace

void TCustomAVProbe::AppendStreamLine(std::string& text, int stream_index) {
  AddLine(text, StreamLine(context_, stream_index));
  AppendMetadataBlock(text, context_->streams[stream_index]->metadata, "  ");
}

bool TCustomAVProbe::GetFileInfoText(std::string& text) {
  text.clear();
  if (!Loaded()) return false;
  const AVFormatContext* context = context_;
  const AVInputFormat* format = context->iformat;

  AddLine(text, "File Name: " + FileName());
  AddLine(text, "Format Name: " + FormatName());
  AddLine(text, std::string("Format Long Name: ") +
                    (format && format->long_name ? format->long_name : ""));
  AddLine(text, "File Size: " + FormatFileSize(file_size_));

  TFileStreamInfo info;
  GetFileStreamInfo(info);
  AddLine(text,
          "Duration: " + (info.Duration < 0 ? std::string("N/A") : FormatDuration(info.Duration)));
  if (info.StartTime >= 0) AddLine(text, "StartTime: " + FormatSecondsMicro(info.StartTime));
  AddLine(text, info.BitRate < 1 ? std::string("Bit Rate: N/A")
                                 : "Bit Rate: " + std::to_string(info.BitRate / 1000) + " kb/s");
  if (info.TimeStamp > 0) AddLine(text, "Time Stamp: " + FormatLocalStandardTime(info.TimeStamp));
  AppendMetadataBlock(text, context->metadata, "");

  std::vector<bool> shown(context->nb_streams, false);
  for (unsigned p = 0; p < context->nb_programs; ++p) {
    const AVProgram* program = context->programs[p];
    const std::string provider = ProgramTag(program->metadata, "service_provider", "provider_name");
    const std::string name = ProgramTag(program->metadata, "service_name", "name");
    AddLine(text, "Program " + std::to_string(program->id) + " " + provider + "@" + name);
    AppendMetadataBlock(text, program->metadata, "  ");
    for (unsigned k = 0; k < program->nb_stream_indexes; ++k) {
      const unsigned index = program->stream_index[k];
      if (index >= context->nb_streams) continue;  // a damaged program table
      AppendStreamLine(text, static_cast<int>(index));
      shown[index] = true;
    }
  }
  for (unsigned i = 0; i < context->nb_streams; ++i) {
    if (!shown[i]) AppendStreamLine(text, static_cast<int>(i));
  }
  return true;
}

}  // namespace kestrel
