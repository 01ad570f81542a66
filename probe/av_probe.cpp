#include "probe/av_probe.h"

#include <sys/stat.h>

#include <mutex>
#include <stdexcept>

#include "medialib/av.h"
#include "medialib/file_names.h"
#include "medialib/library_loader.h"
#include "medialib/media_logger.h"
#include "medialib/text_utils.h"
#include "probe/probe_messages.h"

namespace kestrel {

namespace {

struct LibraryCheck {
  TLibraryIndex library;
  const char* message;
};

constexpr LibraryCheck kRequiredLibraries[] = {
    {liAVCodec, "LibAVCodec not loaded."},
    {liAVFormat, "LibAVFormat not loaded."},
    {liAVUtil, "LibAVUtil not loaded."},
    {liSwScale, "LibSwScale not loaded."},
};

// Size of a regular file as the file system reports it; -1 when it cannot be read.
std::int64_t FileSystemSize(const std::string& name) {
  struct stat st {};
  if (::stat(name.c_str(), &st) != 0) return -1;
  return static_cast<std::int64_t>(st.st_size);
}

bool IsExistingRegularOrOtherNonDirectory(const std::string& name) {
  struct stat st {};
  return !name.empty() && ::stat(name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace

TCustomAVProbe::~TCustomAVProbe() {
  TCustomAVProbe::CloseFile();
}

void TCustomAVProbe::CheckLibrariesLoaded() const {
  for (const LibraryCheck& check : kRequiredLibraries) {
    if (!IsLibLoaded(check.library)) throw std::runtime_error(check.message);
  }
}

void TCustomAVProbe::ReportError(int av_level, const std::string& text) {
  MediaLogger().Log(this, LogLevelFromLibrary(av_level), text);
  last_err_msg_ = text;
}

bool TCustomAVProbe::Loaded() {
  if (context_) return true;
  ReportError(AV_LOG_WARNING, kMsgFileNotLoaded);
  return false;
}

bool TCustomAVProbe::LoadFile(const std::string& file_name, const std::string& forced_format) {
  CheckLibrariesLoaded();
  CloseFile();

  const AVInputFormat* format = nullptr;
  if (!forced_format.empty()) {
    format = av::av_find_input_format(forced_format.c_str());
    if (!format) {
      last_err_msg_ = "Unknown input format: " + forced_format;
      return false;
    }
  }

  AVFormatContext* context = av::avformat_alloc_context();
  if (!context) {
    ReportError(AV_LOG_ERROR, FormatErrorText(file_name, AVERROR(ENOMEM)));
    return false;
  }
  context->flags |= AVFMT_FLAG_NONBLOCK;
  const std::string url = FileNameToURL(file_name);
  // On failure the library frees the context and clears the pointer.
  const int open_result = av::avformat_open_input(&context, url.c_str(), format, nullptr);
  if (open_result < 0) {
    ReportError(AV_LOG_ERROR, FormatErrorText(file_name, open_result));
    CloseFile();
    return false;
  }
  context_ = context;
  owns_context_ = true;

  int analysis_result;
  {
    std::lock_guard<std::mutex> lock(CodecLock());
    analysis_result = av::avformat_find_stream_info(context_, nullptr);
  }
  if (analysis_result < 0) {
    last_err_msg_ = file_name + ": could not find codec parameters";
    CloseFile();
    return false;
  }

  UpdateStreamSummary();
  input_format_name_ = forced_format;
  return true;
}

void TCustomAVProbe::AttachFormatContext(AVFormatContext* context) {
  CheckLibrariesLoaded();
  CloseFile();
  owns_context_ = false;
  context_ = context;
  UpdateStreamSummary();
}

void TCustomAVProbe::CloseFile() {
  input_format_name_.clear();
  if (context_ && owns_context_) av::avformat_close_input(&context_);
  context_ = nullptr;
  owns_context_ = false;
  UpdateStreamSummary();
}

std::int64_t TCustomAVProbe::ContainerFileSize() const {
  if (!context_->pb || !av::avio_size) return 0;
  const std::int64_t size = av::avio_size(context_->pb);
  return size > 0 ? size : 0;
}

void TCustomAVProbe::UpdateStreamSummary() {
  file_size_ = -1;
  stream_count_ = program_count_ = -1;
  audio_stream_count_ = video_stream_count_ = subtitle_stream_count_ = -1;
  first_audio_stream_index_ = first_video_stream_index_ = first_subtitle_stream_index_ = -1;
  if (!context_) return;

  file_size_ = ContainerFileSize();
  if (file_size_ <= 0) {
    const std::string name = context_->url ? URLToFileName(context_->url) : std::string();
    if (IsExistingRegularOrOtherNonDirectory(name)) file_size_ = FileSystemSize(name);
  }

  stream_count_ = static_cast<int>(context_->nb_streams);
  program_count_ = static_cast<int>(context_->nb_programs);
  audio_stream_count_ = video_stream_count_ = subtitle_stream_count_ = 0;
  for (int i = 0; i < stream_count_; ++i) {
    switch (context_->streams[i]->codecpar->codec_type) {
      case AVMEDIA_TYPE_VIDEO:
        ++video_stream_count_;
        if (first_video_stream_index_ < 0) first_video_stream_index_ = i;
        break;
      case AVMEDIA_TYPE_AUDIO:
        ++audio_stream_count_;
        if (first_audio_stream_index_ < 0) first_audio_stream_index_ = i;
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        ++subtitle_stream_count_;
        if (first_subtitle_stream_index_ < 0) first_subtitle_stream_index_ = i;
        break;
      default:
        break;
    }
  }
}

std::string TCustomAVProbe::FileName() {
  if (!Loaded()) return "";
  return context_->url ? URLToFileName(context_->url) : std::string();
}

std::string TCustomAVProbe::FormatName() {
  if (!Loaded()) return "";
  return context_->iformat && context_->iformat->name ? context_->iformat->name : "";
}

bool TCustomAVProbe::IsAudioStream(int stream_index) {
  if (!Loaded()) return false;
  if (stream_index < 0 || stream_index >= stream_count_) {
    ReportError(AV_LOG_ERROR, StreamIndexInvalidText(stream_index));
    return false;
  }
  return context_->streams[stream_index]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO;
}

bool TCustomAVProbe::IsVideoStream(int stream_index) {
  if (!Loaded()) return false;
  if (stream_index < 0 || stream_index >= stream_count_) {
    ReportError(AV_LOG_ERROR, StreamIndexInvalidText(stream_index));
    return false;
  }
  return context_->streams[stream_index]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
}

int TCustomAVProbe::StreamType(int stream_index) const {
  if (!context_ || stream_index < 0 || stream_index >= stream_count_) return -1;
  return context_->streams[stream_index]->codecpar->codec_type;
}

void TAVProbe::UpdateStreamSummary() {
  TCustomAVProbe::UpdateStreamSummary();
  default_stream_index_ =
      FirstVideoStreamIndex() >= 0 ? FirstVideoStreamIndex() : FirstAudioStreamIndex();
  default_stream_start_time_ = 0;
  const AVFormatContext* context = FormatContext();
  if (!context) return;
  const std::int64_t start = default_stream_index_ >= 0
                                 ? context->streams[default_stream_index_]->start_time
                                 : context->start_time;
  default_stream_start_time_ = start == AV_NOPTS_VALUE ? 0 : start;
}

}  // namespace kestrel
