#include "engine/ffmpeg_core.h"

#include <unistd.h>

#include <chrono>
#include <cstring>

#include "engine/engine_log.h"
#include "engine/option_values.h"
#include "engine/stream_setup.h"
#include "engine/task_thread_priority.h"
#include "engine/transcode.h"

namespace kestrel {

TCustomFFmpeg::TCustomFFmpeg() : files_(std::make_unique<TEngineFiles>()) {}

TCustomFFmpeg::~TCustomFFmpeg() {
  if (running_.load()) {
    break_ = true;
    Resume();
  }
  for (std::thread* thread : {&worker_, &terminate_thread_}) {
    if (!thread->joinable()) continue;
    if (thread->get_id() == std::this_thread::get_id())
      thread->detach();
    else
      thread->join();
  }
  CleanUp();
}

std::mutex& TCustomFFmpeg::PreviewLock() {
  static std::mutex lock;
  return lock;
}

void TCustomFFmpeg::SetPreviewFlags(int flags) {
  std::lock_guard<std::mutex> lock(PreviewLock());
  preview_flags_ = flags;
}

int TCustomFFmpeg::PreviewFlags() const {
  std::lock_guard<std::mutex> lock(PreviewLock());
  return preview_flags_;
}

std::string TCustomFFmpeg::ErrorText() const {
  std::lock_guard<std::mutex> lock(error_mutex_);
  return error_text_;
}

std::string TCustomFFmpeg::LastProgressText() const {
  std::lock_guard<std::mutex> lock(progress_text_mutex_);
  return progress_text_;
}

void TCustomFFmpeg::CleanUp() {
  files_->CloseAll();
}

void TCustomFFmpeg::Reset() {
  CleanUp();
  ResetOptions();
  finished_ = false;
  terminated_ = false;
  error_ = false;
  running_ = false;
  break_ = false;
  {
    std::lock_guard<std::mutex> lock(error_mutex_);
    error_text_.clear();
  }
  last_error_.clear();
  MutableOptions().total_duration_us = -1;
}

bool TCustomFFmpeg::Start(bool threaded, TThreadPriority priority) {
  if (running_.load() || terminated_.load()) return false;
  {
    std::lock_guard<std::mutex> lock(done_mutex_);
    done_ = false;
  }
  const char* missing = files_->outputs.empty()  ? "At least one output file must be specified"
                        : files_->inputs.empty() ? "At least one input file must be specified"
                                                 : nullptr;
  if (missing) {
    Log(AV_LOG_QUIET, missing);
    {
      std::lock_guard<std::mutex> lock(error_mutex_);
      error_text_ = missing;
    }
    last_error_ = missing;
    error_ = true;
    CleanUp();
    ReportTermination();
    return true;
  }
  running_ = true;
  break_ = false;
  finished_ = false;
  if (!threaded) {
    RunTask();
    return true;
  }
  worker_ = std::thread([this, priority] {
    ApplyThreadPriority(priority);
    RunTask();
  });
  return true;
}

void TCustomFFmpeg::RunTask() {
  finished_ = false;
  try {
    TTranscoder transcoder(*this);
    transcoder.Run();
  } catch (const std::exception& e) {
    Log(AV_LOG_QUIET, e.what());
    {
      std::lock_guard<std::mutex> lock(error_mutex_);
      error_text_ = e.what();
    }
    error_ = true;
  }
  try {
    CleanUp();
  } catch (const std::exception& e) {
    Log(AV_LOG_QUIET, e.what());
  }
  ReportTermination();
}

void TCustomFFmpeg::ReportTermination() {
  running_ = false;
  terminated_ = true;
  if (terminate_) {
    TTerminateInfo info;
    info.Finished = finished_.load();
    info.Exception = error_.load();
    info.ExceptionMsg = ErrorText();
    terminate_(*this, info);
  }
  {
    std::lock_guard<std::mutex> lock(done_mutex_);
    done_ = true;
  }
  done_cv_.notify_all();
}

void TCustomFFmpeg::Stop(bool wait) {
  if (running_.load()) {
    break_ = true;
    Resume();
  } else if (!terminated_.load()) {
    // Never started: the end is reported from a thread of its own.
    if (terminate_thread_.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(done_mutex_);
      done_ = false;
    }
    terminate_thread_ = std::thread([this] { ReportTermination(); });
  }
  if (!wait) return;
  std::unique_lock<std::mutex> lock(done_mutex_);
  while (!done_) {
    done_cv_.wait_for(lock, std::chrono::milliseconds(20));
    if (done_) break;
    if (wait_service_) {
      lock.unlock();
      wait_service_();
      lock.lock();
    }
  }
  lock.unlock();
  for (std::thread* thread : {&worker_, &terminate_thread_})
    if (thread->joinable() && thread->get_id() != std::this_thread::get_id()) thread->join();
}

void TCustomFFmpeg::Pause() {
  paused_ = true;
}

void TCustomFFmpeg::Resume() {
  {
    std::lock_guard<std::mutex> lock(pause_mutex_);
    paused_ = false;
  }
  pause_cv_.notify_all();
}

void TCustomFFmpeg::WaitWhilePaused() {
  if (!paused_.load()) return;
  std::unique_lock<std::mutex> lock(pause_mutex_);
  pause_cv_.wait(lock, [this] { return !paused_.load() || break_.load(); });
}

}  // namespace kestrel
