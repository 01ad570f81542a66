// The plain records a host fills to describe one conversion task, and the records of the
// four events the task component reports back. Hosts (windows, command line) use only
// these types; they carry no media-library type.
#pragma once

#include <cstdint>
#include <string>

#include "medialib/text_utils.h"  // kNoTimestamp

namespace kestrel {

struct TInputOptions {
  std::string FileName;                   // filled from AddTask's argument when empty
  std::string FileFormat;                 // forced input format ("f")
  std::int64_t StartTime = kNoTimestamp;  // microseconds ("ss" unless unset)
  std::int32_t ProgramID = -1;            // "programid" when >= 0
  std::string ExtOptions;                 // extra "name=value" lines
  std::int32_t Reserved1 = 0;
  std::int32_t Reserved2 = 0;
};

// Output metadata.
struct TStreamInfo {
  double TimeStamp = -1.0;  // days since 1899-12-30, local time; 0 = now, < 0 = none
  std::int32_t Year = -1;
  std::int32_t Track = -1;
  std::string Title;
  std::string Author;
  std::string Copyright;
  std::string Comment;
  std::string Album;
  std::string Genre;
};

// An unset field means its option is not passed.
struct TOutputOptions {
  std::string FileName;  // filled from SetOutputFile's argument when empty
  std::string Reserved;
  std::string FileFormat;  // "f"
  std::int32_t PacketSize = -1;
  std::int32_t MuxRate = -1;
  float MuxDelay = -1.0f;    // seconds
  float MuxPreload = -1.0f;  // seconds
  std::string AudioCodec;
  std::string AudioPreset;
  bool DisableAudio = false;
  std::int32_t AudioVolume = -1;  // 256 = unchanged
  std::int32_t AudioChannels = -1;
  std::int32_t AudioSampleRate = -1;  // Hz
  std::int32_t AudioBitrate = -1;     // bit/s
  std::int32_t AudioBitrateTolerance = -1;
  std::string AudioLanguage;
  std::int32_t AudioSyncMethod = 0;
  std::string AudioTag;
  std::string VideoCodec;
  std::string VideoPreset;
  bool DisableVideo = false;
  std::string FrameRate;
  std::string FrameSize;
  std::string FrameAspectRatio;
  std::int32_t CropTop = -1;
  std::int32_t CropBottom = -1;
  std::int32_t CropLeft = -1;
  std::int32_t CropRight = -1;
  std::int32_t GroupPictureSize = -1;
  std::int32_t VideoBitrate = -1;  // bit/s
  std::int32_t VideoMaxRate = -1;
  std::int32_t VideoMinRate = -1;
  std::int32_t VideoBitrateTolerance = -1;
  std::int32_t VideoBufSize = -1;
  std::int32_t VideoSyncMethod = -1;  // -1 = automatic
  std::string VideoTag;
  std::string VideoFilters;
  std::string VideoLanguage;
  std::string SubtitleCodec;
  std::string SubtitlePreset;
  bool DisableSubtitle = false;
  std::string SubtitleLanguage;
  bool InputSync = false;
  bool CopyTimestamp = false;
  std::int64_t StartTime = kNoTimestamp;      // microseconds
  std::int64_t RecordingTime = kNoTimestamp;  // microseconds
  TStreamInfo Info;
  std::int32_t TargetType = 0;   // 0 none, 1 vcd, 2 svcd, 3 dvd
  std::int32_t NormType = 0;     // 0 auto, 1 pal, 2 ntsc, other auto
  std::int32_t NormDefault = 1;  // 1 pal, other ntsc
  bool CustomHook = false;
  bool Join = false;
  std::string ExtOptions;
  std::int32_t Reserved1 = 0;
  std::int32_t Reserved2 = 0;
};

// A 24-bit picture handed to hooks: bytes in B, G, R order, `stride` bytes from one row
// to the next (negative for a bottom-up picture, then `data` points at the top row).
struct TFramePicture {
  std::uint8_t* data = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;
};

struct THookInfo {
  std::int32_t TaskIndex = 0;
  TFramePicture Bitmap;          // the decoded picture at its decoded size
  std::int32_t FrameNumber = 0;  // decoded pictures of the task so far, from 1
  std::int64_t PTS = 0;          // microseconds
  bool Update = true;            // out: copy the picture back into the frame
  bool StopHook = false;         // out: never call the hook again for this task
};
using PHookInfo = THookInfo*;

struct TPreviewInfo {
  std::int32_t TaskIndex = 0;
  TFramePicture Bitmap;  // the frame just given to the encoder, at output size
  std::int32_t FrameNumber = 0;
  std::int64_t PTS = 0;  // microseconds
};

struct TProgressInfo {
  std::int32_t TaskIndex = 0;
  std::int32_t FileIndex = -1;    // input of the last packet read, -1 in the final report
  std::int32_t FrameNumber = -1;  // frames encoded on the first video output
  std::int32_t FPS = -1;
  float Quality = -1.0f;
  float BitRate = 0.0f;              // kbit/s
  std::int64_t CurrentSize = 0;      // bytes written
  std::int64_t CurrentDuration = 0;  // microseconds of output written
  std::int64_t TotalDuration = -1;   // microseconds expected, -1 unknown
};
using PProgressInfo = TProgressInfo*;

struct TTerminateInfo {
  std::int32_t TaskIndex = 0;  // -1 for the end-of-run notification
  bool Finished = false;
  bool Exception = false;
  std::string ExceptionMsg;
};

}  // namespace kestrel
