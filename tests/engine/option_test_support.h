// Shared pieces of the option tests: loaded libraries, an engine whose view of opened
// files the test sets, and a capture of engine and library log lines.
#pragma once

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "engine/engine_log.h"
#include "engine/ffmpeg_options.h"
#include "medialib/av.h"
#include "medialib/library_loader.h"
#include "medialib/media_logger.h"

namespace kestrel::test {

struct TLogLine {
  int level;
  std::string text;
};

// Engine messages and library lines reaching the process's log capture, in order, with
// the libraries' numeric levels. The capture's level is info while a test runs.
class TLogCapture {
 public:
  TLogCapture() {
    MediaLogger().SetTriggerEventInMainThread(false);
    MediaLogger().SetLogLevel(llInfo);
    MediaLogger().SetOnLog([this](const TLogInfo& info) {
      std::lock_guard<std::mutex> lock(mutex_);
      lines_.push_back({LibraryLevelOf(info.level), info.message});
    });
  }
  ~TLogCapture() {
    MediaLogger().SetOnLog(nullptr);
    MediaLogger().SetLogLevel(llInfo);
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
  int level() const { return LibraryLevelOf(MediaLogger().LogLevel()); }

 private:
  mutable std::mutex mutex_;
  std::vector<TLogLine> lines_;
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
