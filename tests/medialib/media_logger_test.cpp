#include "medialib/media_logger.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <regex>
#include <thread>
#include <vector>

#include "medialib/av.h"
#include "medialib/library_loader.h"
#include "medialib/main_thread.h"

namespace kestrel {
namespace {

TEST(LogLevels, MapBothWays) {
  const struct {
    TLogLevel level;
    int library_level;
  } cases[] = {{llQuiet, -8},   {llPanic, 0}, {llFatal, 8},    {llError, 16},
               {llWarning, 24}, {llInfo, 32}, {llVerbose, 40}, {llDebug, 48}};
  for (const auto& c : cases) {
    EXPECT_EQ(LibraryLevelOf(c.level), c.library_level);
    EXPECT_EQ(LogLevelFromLibrary(c.library_level), c.level);
  }
  const struct {
    int library_level;
    TLogLevel level;
  } bands[] = {{-100, llQuiet}, {-7, llPanic},   {7, llPanic},  {15, llFatal},
               {20, llError},   {47, llVerbose}, {56, llDebug}, {1000, llDebug}};
  for (const auto& b : bands) EXPECT_EQ(LogLevelFromLibrary(b.library_level), b.level);
}

TEST(LogLevels, LoglevelTexts) {
  const struct {
    const char* text;
    bool valid;
    int library_level;
  } cases[] = {
      {"Debug", true, 48}, {"DEBUG", true, 48},
      {"quiet", true, -8}, {"Warning", true, 24},
      {"20", true, 20},    {"-8", true, -8},
      {"", false, 0},      {"12x", false, 0},
      {"loud", false, 0},  {"99999999999999999999", false, 0},
  };
  for (const auto& c : cases) {
    int level = 12345;
    EXPECT_EQ(ParseLogLevelText(c.text, &level), c.valid) << c.text;
    EXPECT_EQ(level, c.valid ? c.library_level : 12345) << c.text;  // untouched when refused
  }
}

// Collects what reaches the logger's handler; the libraries are loaded, so av_log output
// goes through the capture.
class MediaLog : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(LoadLibs(kEngineLibs)) << LastError();
    logger_.SetTriggerEventInMainThread(false);
    logger_.SetLogLevel(llInfo);
    logger_.SetOnLog([this](const TLogInfo& info) {
      std::lock_guard<std::mutex> hold(mutex_);
      received_.push_back(info);
    });
  }
  void TearDown() override {
    logger_.SetOnLog(nullptr);
    logger_.SetTriggerEventInMainThread(true);
    logger_.SetLogLevel(llInfo);
  }
  std::vector<std::string> Messages() {
    std::lock_guard<std::mutex> hold(mutex_);
    std::vector<std::string> messages;
    for (const TLogInfo& info : received_) messages.push_back(info.message);
    return messages;
  }
  std::vector<TLogInfo> Received() {
    std::lock_guard<std::mutex> hold(mutex_);
    return received_;
  }

  TMediaLogger& logger_ = MediaLogger();
  std::mutex mutex_;
  std::vector<TLogInfo> received_;  // guarded by mutex_
};

TEST_F(MediaLog, OnlyOneLoggerMayExist) {
  try {
    TMediaLogger second;
    FAIL() << "a second logger was created";
  } catch (const std::logic_error& e) {
    EXPECT_STREQ(e.what(), "Allow creating only one instance of TMediaLogger.");
  }
  EXPECT_EQ(&MediaLogger(), &logger_);
}

TEST_F(MediaLog, LibraryOutputIsAssembledIntoLines) {
  av::av_log(nullptr, AV_LOG_ERROR, "abc");
  EXPECT_TRUE(Messages().empty());
  av::av_log(nullptr, AV_LOG_ERROR, "%s\n", "def");
  av::av_log(nullptr, AV_LOG_WARNING, "one\ntwo\n\nthree");
  av::av_log(nullptr, AV_LOG_WARNING, "\n");
  EXPECT_EQ(Messages(), (std::vector<std::string>{"abcdef", "one", "two", "", "three"}));
  const std::vector<TLogInfo> received = Received();
  EXPECT_EQ(received[0].level, llError);
  EXPECT_EQ(received[0].sender, &logger_);
  EXPECT_EQ(received[0].thread_id, CurrentThreadId());
  EXPECT_EQ(received[1].level, llWarning);
}

TEST_F(MediaLog, ThreadsKeepTheirTextsApart) {
  // Each thread writes half a line, waits until the other has too, then ends it.
  std::mutex step_mutex;
  std::condition_variable step;
  int halves = 0;
  auto writer = [&](const char* first, const char* second, std::uint32_t* id) {
    *id = CurrentThreadId();
    av::av_log(nullptr, AV_LOG_ERROR, "%s", first);
    std::unique_lock<std::mutex> lock(step_mutex);
    ++halves;
    step.notify_all();
    step.wait(lock, [&] { return halves == 2; });
    lock.unlock();
    av::av_log(nullptr, AV_LOG_ERROR, "%s\n", second);
  };
  std::uint32_t id_a = 0, id_b = 0;
  std::thread a(writer, "a1", "a2", &id_a);
  std::thread b(writer, "b1", "b2", &id_b);
  a.join();
  b.join();
  std::vector<TLogInfo> received = Received();
  ASSERT_EQ(received.size(), 2u);
  if (received[0].message != "a1a2") std::swap(received[0], received[1]);
  EXPECT_EQ(received[0].message, "a1a2");
  EXPECT_EQ(received[0].thread_id, id_a);
  EXPECT_EQ(received[1].message, "b1b2");
  EXPECT_EQ(received[1].thread_id, id_b);
  EXPECT_NE(id_a, id_b);
}

TEST_F(MediaLog, ContextMessagesArePrefixedWithNameAndAddress) {
  AVCodecContext* context = av::avcodec_alloc_context3(av::avcodec_find_encoder(AV_CODEC_ID_MPEG4));
  ASSERT_NE(context, nullptr);
  av::av_log(context, AV_LOG_ERROR, "first ");
  av::av_log(context, AV_LOG_ERROR, "part\n");
  av::av_log(nullptr, AV_LOG_ERROR, "plain\n");
  char expected[64];
  std::snprintf(expected, sizeof expected, "[mpeg4 @ %0*" PRIXPTR "]first part",
                static_cast<int>(2 * sizeof(void*)), reinterpret_cast<std::uintptr_t>(context));
  const std::vector<std::string> messages = Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], expected);
  EXPECT_TRUE(std::regex_match(messages[0], std::regex(R"(\[mpeg4 @ [0-9A-F]{16}\]first part)")));
  EXPECT_EQ(messages[1], "plain");
  av::avcodec_free_context(&context);
}

TEST_F(MediaLog, LongLibraryMessagesAreCut) {
  const std::string long_text(10000, 'x');
  av::av_log(nullptr, AV_LOG_ERROR, "%s\n", long_text.c_str());
  av::av_log(nullptr, AV_LOG_ERROR, "%s", long_text.c_str());  // no line end: stays pending
  av::av_log(nullptr, AV_LOG_ERROR, "end\n");
  const std::vector<std::string> messages = Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], std::string(kLibraryMessageLimit - 1, 'x'));
  EXPECT_EQ(messages[1], std::string(kLibraryMessageLimit, 'x') + "end");
}

TEST_F(MediaLog, LevelErrorFiltersEngineAndLibraryMessages) {
  logger_.SetLogLevel(llError);
  EXPECT_EQ(LibraryLogLevel(), AV_LOG_ERROR);
  EXPECT_EQ(av::av_log_get_level(), AV_LOG_ERROR);
  const int sender = 0;
  logger_.Log(&sender, llWarning, "engine warning");
  logger_.Log(&sender, llError, "engine error");
  logger_.Log(&sender, llVerbose, "engine status");
  logger_.Log(&sender, llQuiet, "engine quiet");
  logger_.LogFormat(&sender, llDebug, "engine debug %d", 1);
  logger_.LogFormat(&sender, llFatal, "engine fatal %d", 2);
  av::av_log(nullptr, AV_LOG_WARNING, "library warning\n");
  av::av_log(nullptr, AV_LOG_ERROR, "library error\n");
  EXPECT_EQ(Messages(), (std::vector<std::string>{"engine error", "engine status", "engine quiet",
                                                  "engine fatal 2", "library error"}));
  EXPECT_EQ(Received()[0].sender, &sender);
}

TEST_F(MediaLog, LevelQuietPassesOnlyQuietMessages) {
  logger_.SetLogLevel(llQuiet);
  const int sender = 0;
  for (TLogLevel level : {llPanic, llError, llVerbose, llDebug}) logger_.Log(&sender, level, "x");
  logger_.Log(&sender, llQuiet, "quiet");
  av::av_log(nullptr, AV_LOG_PANIC, "library panic\n");
  EXPECT_EQ(Messages(), std::vector<std::string>{"quiet"});
}

TEST_F(MediaLog, LoglevelTextSetsTheLevel) {
  EXPECT_TRUE(logger_.SetLogLevelText("Debug"));
  EXPECT_EQ(logger_.LogLevel(), llDebug);
  EXPECT_EQ(av::av_log_get_level(), AV_LOG_DEBUG);
  EXPECT_TRUE(logger_.SetLogLevelText("20"));
  EXPECT_EQ(logger_.LogLevel(), llError);
  EXPECT_FALSE(logger_.SetLogLevelText("loud"));
  EXPECT_EQ(logger_.LogLevel(), llError);
}

TEST_F(MediaLog, WorkerMessagesAreDeliveredOnTheMainThread) {
  TQueuedMainThread main_thread;
  SetMainThreadDispatcher(&main_thread);
  logger_.SetTriggerEventInMainThread(true);
  std::vector<std::thread::id> handler_threads;
  logger_.SetOnLog([&](const TLogInfo&) { handler_threads.push_back(std::this_thread::get_id()); });

  bool done = false;
  std::thread worker([&] {
    logger_.Log(nullptr, llError, "engine");
    av::av_log(nullptr, AV_LOG_ERROR, "library\n");
    main_thread.CallInMainThread([&] { done = true; });
  });
  main_thread.RunUntil([&] { return done; });
  worker.join();
  SetMainThreadDispatcher(nullptr);
  EXPECT_EQ(handler_threads,
            (std::vector<std::thread::id>{std::this_thread::get_id(), std::this_thread::get_id()}));
}

}  // namespace
}  // namespace kestrel
