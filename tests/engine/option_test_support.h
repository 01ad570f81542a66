// Shared pieces of the option tests: loaded libraries, an engine whose view of opened
// files the test sets, and a capture of engine and library log lines.
#pragma once

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "engine/engine_log.h"
#include "engine/ffmpeg_options.h"
#include "medialib/av.h"
#include "medialib/library_loader.h"

namespace kestrel::test {

struct TLogLine {
  int level;
  std::string text;
};

// Engine messages and library messages, in the order they were logged.
class TLogCapture {
 public:
  TLogCapture() {
    Instance() = this;
    TEngineLogSink sink;
    sink.message = [this](const void*, int level, const std::string& text) { Add(level, text); };
    sink.get_level = [this] { return level_; };
    sink.set_level = [this](int level) { level_ = level; };
    SetEngineLogSink(sink);
    av::av_log_set_callback(&TLogCapture::LibraryCallback);
  }
  ~TLogCapture() {
    av::av_log_set_callback(av::av_log_default_callback);
    SetEngineLogSink({});
    Instance() = nullptr;
  }

  bool Has(int level, const std::string& text) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const TLogLine& line : lines_)
      if (line.level == level && line.text == text) return true;
    return false;
  }
  bool Contains(const std::string& part) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const TLogLine& line : lines_)
      if (line.text.find(part) != std::string::npos) return true;
    return false;
  }
  size_t Count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_.size();
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
  }
  int level() const { return level_; }

 private:
  static TLogCapture*& Instance() {
    static TLogCapture* instance = nullptr;
    return instance;
  }
  static void LibraryCallback(void*, int level, const char* format, va_list args) {
    char text[2048];
    std::vsnprintf(text, sizeof text, format, args);
    if (Instance() && level <= AV_LOG_WARNING) Instance()->Add(level, text);
  }
  void Add(int level, const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back({level, text});
  }

  mutable std::mutex mutex_;
  std::vector<TLogLine> lines_;
  int level_ = AV_LOG_INFO;
};

// An engine with a settable view of its opened files.
class TTestEngine : public TFFmpegOptions {
 public:
  std::vector<AVRational> input_rates;
  int output_files = 0;
  std::vector<AVMediaType> new_streams;
  int hook_result = 0;
  std::vector<std::string> hook_args;

  using TFFmpegOptions::MutableOptions;

 protected:
  std::vector<AVRational> OpenedInputVideoRates() const override { return input_rates; }
  int OutputFileCount() const override { return output_files; }
  void NewStream(AVMediaType type) override { new_streams.push_back(type); }
  int AddFrameHook(const std::vector<std::string>& args) override {
    hook_args = args;
    return hook_result;
  }
};

// Loads the engine's libraries once; every option test needs them.
class OptionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(LoadLibs(kEngineLibs)) << LastError(); }
  void SetUp() override { engine_.ResetOptions(); }

  // The message of the FFmpegException that `action` raises, or "" when none.
  template <typename Action>
  static std::string ErrorOf(Action action) {
    try {
      action();
    } catch (const FFmpegException& e) {
      return e.what();
    }
    return "";
  }

  TLogCapture log_;
  TTestEngine engine_;
};

}  // namespace kestrel::test
