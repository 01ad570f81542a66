// The typed records the media probe fills: one for the container, one per video or audio
// stream. Every integer starts at -1 ("unknown") and keeps it when the file does not say.
#pragma once

#include <cstdint>
#include <string>

namespace kestrel {

// Times of the container are in microseconds.
struct TFileStreamInfo {
  std::int64_t StartTime = -1;
  std::int64_t Duration = -1;
  std::int32_t BitRate = -1;    // bit/s, 0 when the container does not know it
  std::int64_t TimeStamp = -1;  // creation time, seconds since 1970-01-01 UTC, 0 when absent
  std::int32_t Year = -1;       // 0 when absent
  std::int32_t Track = -1;      // 0 when absent
  std::string Title;
  std::string Author;
  std::string Copyright;
  std::string Comment;
  std::string Album;
  std::string Genre;
};

// StartTime and Duration are in the stream's own time base; the ...US fields in
// microseconds.
struct TVideoStreamInfo {
  std::string Language;
  std::string CodecName;
  std::int64_t StartTime = -1;
  std::int64_t StartTimeUS = -1;
  std::int64_t Duration = -1;
  std::int64_t DurationUS = -1;
  std::int32_t BitRate = -1;
  std::int32_t Height = -1;
  std::int32_t Width = -1;
  float DisplayAspectRatio =
      -1.0f;                      // sample aspect ratio x width / height; 0 when the SAR is unknown
  std::int32_t PixelFormat = -1;  // the libraries' pixel-format number
  std::int32_t FrameRateNum = -1;  // the stream's real base frame rate
  std::int32_t FrameRateDen = -1;
};

struct TAudioStreamInfo {
  std::string Language;
  std::string CodecName;
  std::int64_t StartTime = -1;
  std::int64_t StartTimeUS = -1;
  std::int64_t Duration = -1;
  std::int64_t DurationUS = -1;
  std::int32_t BitRate = -1;
  std::int32_t Channels = -1;
  std::int32_t SampleRate = -1;    // Hz
  std::int32_t SampleFormat = -1;  // the libraries' sample-format number
};

}  // namespace kestrel
