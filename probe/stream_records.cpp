// The typed records of the probe: container, video stream, audio stream.
#include <algorithm>
#include <cstdlib>
#include <limits>

#include "medialib/av.h"
#include "medialib/text_utils.h"
#include "probe/av_probe.h"
#include "probe/probe_messages.h"

namespace kestrel {

namespace {

std::int32_t ClampToInt32(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

std::int64_t KnownOrMinusOne(std::int64_t time) {
  return time == AV_NOPTS_VALUE ? -1 : time;
}

std::string Tag(const AVDictionary* tags, const char* key) {
  return GetMetadataValue(tags, key, "");
}

// Leading decimal number of a tag ("2009-05-01" gives 2009, "3/12" gives 3); 0 without one.
std::int32_t TagNumber(const std::string& text) {
  return ClampToInt32(std::strtoll(text.c_str(), nullptr, 10));
}

// The creation time tag (ISO 8601) as seconds since 1970; 0 when absent or unreadable.
std::int64_t CreationTime(const AVDictionary* tags) {
  const std::string text = Tag(tags, "creation_time");
  std::int64_t microseconds = 0;
  if (text.empty() || av::av_parse_time(&microseconds, text.c_str(), 0) < 0) return 0;
  return microseconds / 1000000;
}

// A stream time base of 0/0 cannot rescale anything: it becomes n/n or 1/1, on the stream
// itself so later readers see the corrected value.
void CorrectTimeBase(AVStream* stream) {
  if (stream->time_base.den != 0) return;
  stream->time_base.den = stream->time_base.num != 0 ? stream->time_base.num : 1;
  if (stream->time_base.num == 0) stream->time_base.num = 1;
}

template <typename Record>
void FillCommon(AVStream* stream, Record& info) {
  info.Language = Tag(stream->metadata, "language");
  info.CodecName = FormatCodecDescription(stream->codecpar, false);
  CorrectTimeBase(stream);
  // Unknown times stay -1 like every other unknown field, never the library's marker.
  info.StartTime = KnownOrMinusOne(stream->start_time);
  info.Duration = KnownOrMinusOne(stream->duration);
  const AVRational microseconds{1, AV_TIME_BASE};
  if (stream->start_time != AV_NOPTS_VALUE)
    info.StartTimeUS = av::av_rescale_q(stream->start_time, stream->time_base, microseconds);
  if (stream->duration != AV_NOPTS_VALUE)
    info.DurationUS = av::av_rescale_q(stream->duration, stream->time_base, microseconds);
}

float DisplayAspectRatio(const AVCodecParameters* codec) {
  if (codec->height <= 0) return -1.0f;  // no picture size: nothing to divide by
  const double sar = codec->sample_aspect_ratio.num == 0 || codec->sample_aspect_ratio.den == 0
                         ? 0.0
                         : av_q2d(codec->sample_aspect_ratio);
  return static_cast<float>(sar * codec->width / codec->height);
}

}  // namespace

bool TCustomAVProbe::GetFileStreamInfo(TFileStreamInfo& info) {
  info = TFileStreamInfo{};
  if (!Loaded()) return false;
  const AVFormatContext* context = context_;
  info.StartTime = KnownOrMinusOne(context->start_time);
  info.Duration = KnownOrMinusOne(context->duration);
  info.BitRate = ClampToInt32(context->bit_rate);
  info.TimeStamp = CreationTime(context->metadata);
  const std::string year = Tag(context->metadata, "year");
  info.Year = TagNumber(year.empty() ? Tag(context->metadata, "date") : year);
  info.Track = TagNumber(Tag(context->metadata, "track"));
  info.Title = Tag(context->metadata, "title");
  info.Author = Tag(context->metadata, "author");
  info.Copyright = Tag(context->metadata, "copyright");
  info.Comment = Tag(context->metadata, "comment");
  info.Album = Tag(context->metadata, "album");
  info.Genre = Tag(context->metadata, "genre");
  return true;
}

int TCustomAVProbe::ResolveStreamIndex(int stream_index, int media_type) {
  const bool video = media_type == AVMEDIA_TYPE_VIDEO;
  if (stream_index < 0) {
    stream_index = video ? first_video_stream_index_ : first_audio_stream_index_;
    if (stream_index < 0) {
      ReportError(AV_LOG_ERROR, video ? kMsgNoVideoStream : kMsgNoAudioStream);
      return -1;
    }
  }
  if (stream_index >= stream_count_) {
    ReportError(AV_LOG_ERROR, StreamIndexInvalidText(stream_index));
    return -1;
  }
  if (context_->streams[stream_index]->codecpar->codec_type != media_type) {
    ReportError(AV_LOG_ERROR, StreamNotOfKindText(stream_index, video ? "video" : "audio"));
    return -1;
  }
  return stream_index;
}

bool TCustomAVProbe::GetVideoStreamInfo(int stream_index, TVideoStreamInfo& info) {
  info = TVideoStreamInfo{};
  if (!Loaded()) return false;
  const int index = ResolveStreamIndex(stream_index, AVMEDIA_TYPE_VIDEO);
  if (index < 0) return false;
  AVStream* stream = context_->streams[index];
  FillCommon(stream, info);
  const AVCodecParameters* codec = stream->codecpar;
  info.BitRate = ClampToInt32(codec->bit_rate);
  info.Height = codec->height;
  info.Width = codec->width;
  info.DisplayAspectRatio = DisplayAspectRatio(codec);
  info.PixelFormat = codec->format;
  info.FrameRateNum = stream->r_frame_rate.num;
  info.FrameRateDen = stream->r_frame_rate.den;
  return true;
}

bool TCustomAVProbe::GetAudioStreamInfo(int stream_index, TAudioStreamInfo& info) {
  info = TAudioStreamInfo{};
  if (!Loaded()) return false;
  const int index = ResolveStreamIndex(stream_index, AVMEDIA_TYPE_AUDIO);
  if (index < 0) return false;
  AVStream* stream = context_->streams[index];
  FillCommon(stream, info);
  const AVCodecParameters* codec = stream->codecpar;
  info.BitRate = ClampToInt32(codec->bit_rate);
  info.Channels = codec->ch_layout.nb_channels;
  info.SampleRate = codec->sample_rate;
  info.SampleFormat = codec->format;
  return true;
}

}  // namespace kestrel
