#include <gtest/gtest.h>

#include <stdexcept>

#include "app/exception_report.h"
#include "app/global_object.h"
#include "app/skins.h"
#include "app/version_text.h"

namespace kestrel::app {
namespace {

TEST(VersionText, FromTheFourVersionNumbers) {
  const struct {
    const char* version;
    const char* text;
  } cases[] = {{"3.3.0.0", " 3.300 "},
               {"1.4.12.7", " 1.4127 "},
               {"10.0.0.1", " 10.001 "},
               {"2.1", " 2.100 "},
               {"", " 0.000 "}};
  for (const auto& c : cases) EXPECT_EQ(FileVersionText(c.version), c.text) << c.version;
  EXPECT_EQ(GetFileVersionText(), FileVersionText(KESTREL_VERSION));
}

TEST(RightStr, LastCharacters) {
  const struct {
    const char* text;
    int n;
    const char* expected;
  } cases[] = {{"/home/user/out/", 1, "/"},
               {"abc", 2, "bc"},
               {"abc", 5, "abc"},
               {"abc", 0, ""},
               {"abc", -1, ""},
               {"", 1, ""},
               {"dé", 1, "é"},
               {"€x", 2, "€x"}};
  for (const auto& c : cases) EXPECT_EQ(RightStr(c.text, c.n), c.expected) << c.text << c.n;
}

TEST(ExceptionReport, FullStopAndKind) {
  const struct {
    ExceptionKind kind;
    const char* message;
    bool show;
    MessageIcon icon;
    const char* text;
  } cases[] = {
      {ExceptionKind::kEngine, "Cannot open file", true, MessageIcon::kWarning,
       "Cannot open file."},
      {ExceptionKind::kOther, "Error 42", true, MessageIcon::kError, "Error 42."},
      {ExceptionKind::kOther, "Done.", true, MessageIcon::kError, "Done."},
      {ExceptionKind::kOther, "Stop!", true, MessageIcon::kError, "Stop!"},
      {ExceptionKind::kOther, "(x)", true, MessageIcon::kError, "(x)"},
      {ExceptionKind::kOther, "path/", true, MessageIcon::kError, "path/."},
      {ExceptionKind::kOther, "", true, MessageIcon::kError, ""},
      {ExceptionKind::kEngine, "fichier détruit é", true, MessageIcon::kWarning,
       "fichier détruit é."},
      {ExceptionKind::kAccessViolation, "Access violation", false, MessageIcon::kNone, ""},
  };
  for (const auto& c : cases) {
    const ExceptionReport report = MakeExceptionReport(c.kind, c.message, "Title");
    EXPECT_EQ(report.show, c.show) << c.message;
    EXPECT_EQ(report.icon, c.icon) << c.message;
    EXPECT_EQ(report.text, c.text) << c.message;
    EXPECT_EQ(report.caption, c.show ? "Title" : "") << c.message;
  }
}

struct EngineError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
struct AccessFault : std::exception {};

TEST(ExceptionReport, ClassifiesCaughtExceptions) {
  const auto kind = [](std::exception_ptr e) {
    return ClassifyException<EngineError, AccessFault>(e);
  };
  EXPECT_EQ(kind(std::make_exception_ptr(EngineError("x"))), ExceptionKind::kEngine);
  EXPECT_EQ(kind(std::make_exception_ptr(AccessFault())), ExceptionKind::kAccessViolation);
  EXPECT_EQ(kind(std::make_exception_ptr(std::runtime_error("x"))), ExceptionKind::kOther);
  EXPECT_EQ(kind(std::make_exception_ptr(42)), ExceptionKind::kOther);
}

TEST(Skins, NumbersOutsideTheMenuGiveDefaultAndNoCheck) {
  const struct {
    int stored;
    int skin;
    std::optional<int> checked;
  } cases[] = {{0, 0, 0}, {3, 3, 3}, {6, 6, 6}, {7, 0, {}}, {9, 0, {}}, {-1, 0, {}}};
  for (const auto& c : cases) {
    const SkinChoice choice = SkinForNumber(c.stored);
    EXPECT_EQ(choice.skin, c.skin) << c.stored;
    EXPECT_EQ(choice.checked_entry, c.checked) << c.stored;
  }
  EXPECT_EQ(kSkinNames[6], "Light blue");
}

TEST(GlobalObject, StartValuesAndSetterRules) {
  TGlobalObject global("/opt/k/kestrelxboxvideoconverter.ini", "/opt/k/kestrelxboxformat.ini");
  EXPECT_EQ(global.AppTitle(), "Kestrel Xbox Video Converter");
  EXPECT_EQ(global.VersionText(), " ver 1.40 ");
  EXPECT_TRUE(global.HelpUrl().ends_with("/xbox-video-converter-help.htm"));
  EXPECT_TRUE(global.UpdateUrl().ends_with("/download/xboxvideoconverter.exe"));
  EXPECT_TRUE(global.WebSiteUrl().ends_with("/xbox-video-converter.htm"));

  global.SetSettingsFile("abc");
  EXPECT_EQ(global.SettingsFile(), "/opt/k/kestrelxboxvideoconverter.ini");
  global.SetSettingsFile("abcd");
  EXPECT_EQ(global.SettingsFile(), "abcd");
  global.SetFormatFile("/a/b");
  EXPECT_EQ(global.FormatFile(), "/a/b");
  global.SetFormatFile("");
  EXPECT_EQ(global.FormatFile(), "/a/b");

  using Getter = const std::string& (TGlobalObject::*)() const;
  using Setter = void (TGlobalObject::*)(std::string_view);
  const std::pair<Getter, Setter> plain[] = {
      {&TGlobalObject::HelpUrl, &TGlobalObject::SetHelpUrl},
      {&TGlobalObject::AppTitle, &TGlobalObject::SetAppTitle},
      {&TGlobalObject::VersionText, &TGlobalObject::SetVersionText},
      {&TGlobalObject::UpdateUrl, &TGlobalObject::SetUpdateUrl},
      {&TGlobalObject::WebSiteUrl, &TGlobalObject::SetWebSiteUrl}};
  for (auto [get, set] : plain) {
    (global.*set)("");
    EXPECT_FALSE((global.*get)().empty());
    (global.*set)("x");
    EXPECT_EQ((global.*get)(), "x");
  }
}

TEST(GlobalObject, FilesOfTheRunningProgram) {
  const TGlobalObject global;
  // The test binary's folder is writable, so both files are looked for beside it.
  EXPECT_EQ(global.SettingsFile(),
            std::string(KESTREL_BINARY_DIR) + "/bin/kestrelxboxvideoconverter.ini");
  EXPECT_EQ(global.FormatFile(), std::string(KESTREL_BINARY_DIR) + "/bin/kestrelxboxformat.ini");
}

}  // namespace
}  // namespace kestrel::app
