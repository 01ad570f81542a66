// The media probe: opens a media file with the demuxer of the media libraries, runs the
// stream-information analysis and serves typed records and a text description of the
// container and its streams. It decodes nothing. One thread at a time.
//
// Failures return false (or leave a record reset) and keep their text in LastErrMsg();
// they are also sent to the log. Only LoadFile and AttachFormatContext throw, with
// std::runtime_error, when the media libraries are not loaded.
#pragma once

#include <cstdint>
#include <string>

#include "probe/probe_records.h"

struct AVFormatContext;

namespace kestrel {

class TCustomAVProbe {
 public:
  TCustomAVProbe() = default;
  virtual ~TCustomAVProbe();
  TCustomAVProbe(const TCustomAVProbe&) = delete;
  TCustomAVProbe& operator=(const TCustomAVProbe&) = delete;

  // Opens and analyses a file; an empty forced_format detects the format.
  bool LoadFile(const std::string& file_name, const std::string& forced_format = "");
  // Recomputes the summary fields; called by LoadFile and AttachFormatContext.
  virtual void UpdateStreamSummary();
  // Adopts a demuxer context opened elsewhere (the player's); the probe never closes
  // it. Null detaches.
  virtual void AttachFormatContext(AVFormatContext* context);
  // Releases the current input (closing it only when LoadFile opened it).
  virtual void CloseFile();

  // Each returns false, with the record reset to unknown, when it cannot be filled.
  bool GetFileStreamInfo(TFileStreamInfo& info);
  // A negative index means the first stream of the kind.
  bool GetVideoStreamInfo(int stream_index, TVideoStreamInfo& info);
  bool GetAudioStreamInfo(int stream_index, TAudioStreamInfo& info);
  // The multi-line description, every line ended with CR LF.
  bool GetFileInfoText(std::string& text);

  std::string FileName();    // as the caller gave it
  std::string FormatName();  // the demuxer's short name
  bool IsAudioStream(int stream_index);
  bool IsVideoStream(int stream_index);
  // The libraries' kind number of a stream (0 video, 1 audio, 2 data, 3 subtitle,
  // 4 attachment), -1 for an invalid index or when nothing is loaded. Reports nothing.
  int StreamType(int stream_index) const;

  AVFormatContext* FormatContext() const { return context_; }
  const std::string& LastErrMsg() const { return last_err_msg_; }
  const std::string& InputFormatName() const { return input_format_name_; }
  std::int64_t FileSize() const { return file_size_; }
  int StreamCount() const { return stream_count_; }
  int ProgramCount() const { return program_count_; }
  int AudioStreamCount() const { return audio_stream_count_; }
  int VideoStreamCount() const { return video_stream_count_; }
  int SubtitleStreamCount() const { return subtitle_stream_count_; }
  int FirstAudioStreamIndex() const { return first_audio_stream_index_; }
  int FirstVideoStreamIndex() const { return first_video_stream_index_; }
  int FirstSubtitleStreamIndex() const { return first_subtitle_stream_index_; }

 protected:
  // Logs the text at the libraries' numeric level (16 error, 24 warning) and keeps it
  // in LastErrMsg.
  void ReportError(int av_level, const std::string& text);

 private:
  void CheckLibrariesLoaded() const;
  bool Loaded();  // reports "file not loaded." when false
  int ResolveStreamIndex(int stream_index, int media_type);
  std::int64_t ContainerFileSize() const;
  void AppendStreamLine(std::string& text, int stream_index);

  AVFormatContext* context_ = nullptr;
  bool owns_context_ = false;
  std::string last_err_msg_;
  std::string input_format_name_;
  std::int64_t file_size_ = -1;
  int stream_count_ = -1;
  int program_count_ = -1;
  int audio_stream_count_ = -1;
  int video_stream_count_ = -1;
  int subtitle_stream_count_ = -1;
  int first_audio_stream_index_ = -1;
  int first_video_stream_index_ = -1;
  int first_subtitle_stream_index_ = -1;
};

// The probe the program creates: adds the default stream (first video, else first
// audio) and its start time.
class TAVProbe : public TCustomAVProbe {
 public:
  TAVProbe() = default;

  void UpdateStreamSummary() override;

  int DefaultStreamIndex() const { return default_stream_index_; }
  // The default stream's start time in its own time base, or the container's start time
  // in microseconds without a default stream; 0 when unknown.
  std::int64_t DefaultStreamStartTime() const { return default_stream_start_time_; }

 private:
  int default_stream_index_ = -1;
  std::int64_t default_stream_start_time_ = 0;
};

}  // namespace kestrel
