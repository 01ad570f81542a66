// The program's identity: its title, version text, the two ini files and its web
// addresses. One instance, made by the main window.
#pragma once

#include <string>
#include <string_view>

namespace kestrel::app {

// The maker's web server; only the paths below it are fixed.
inline constexpr std::string_view kWebServer = "https://www.kestrel-video.example";
// The application title until the main window sets AppTitle.
inline constexpr std::string_view kStartTitle = "Kestrel Video Converter";

class TGlobalObject {
 public:
  // Start values; the two file paths are those of the running executable's locations.
  TGlobalObject();
  TGlobalObject(std::string settings_file, std::string format_file);

  const std::string& HelpUrl() const { return help_url_; }
  const std::string& SettingsFile() const { return settings_file_; }
  const std::string& FormatFile() const { return format_file_; }
  const std::string& AppTitle() const { return app_title_; }
  const std::string& VersionText() const { return version_text_; }
  const std::string& UpdateUrl() const { return update_url_; }
  const std::string& WebSiteUrl() const { return web_site_url_; }

  // The two file paths change only to a text longer than 3 characters; the others only to
  // a non-empty text.
  void SetHelpUrl(std::string_view value) { SetUnlessEmpty(help_url_, value); }
  void SetSettingsFile(std::string_view value) { SetIfLonger3(settings_file_, value); }
  void SetFormatFile(std::string_view value) { SetIfLonger3(format_file_, value); }
  void SetAppTitle(std::string_view value) { SetUnlessEmpty(app_title_, value); }
  void SetVersionText(std::string_view value) { SetUnlessEmpty(version_text_, value); }
  void SetUpdateUrl(std::string_view value) { SetUnlessEmpty(update_url_, value); }
  void SetWebSiteUrl(std::string_view value) { SetUnlessEmpty(web_site_url_, value); }

 private:
  static void SetUnlessEmpty(std::string& field, std::string_view value) {
    if (!value.empty()) field = value;
  }
  static void SetIfLonger3(std::string& field, std::string_view value) {
    if (value.size() > 3) field = value;
  }

  std::string help_url_;
  std::string settings_file_;
  std::string format_file_;
  std::string app_title_;
  std::string version_text_;
  std::string update_url_;
  std::string web_site_url_;
};

}  // namespace kestrel::app
