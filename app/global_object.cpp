#include "app/global_object.h"

#include "settings/locations.h"

namespace kestrel::app {

TGlobalObject::TGlobalObject()
    : TGlobalObject(settings::SettingsFilePath(), settings::CatalogueFilePath()) {}

TGlobalObject::TGlobalObject(std::string settings_file, std::string format_file)
    : help_url_(std::string(kWebServer) + "/xbox-video-converter-help.htm"),
      settings_file_(std::move(settings_file)),
      format_file_(std::move(format_file)),
      app_title_("Kestrel Xbox Video Converter"),
      version_text_(" ver 1.40 "),
      update_url_(std::string(kWebServer) + "/download/xboxvideoconverter.exe"),
      web_site_url_(std::string(kWebServer) + "/xbox-video-converter.htm") {}

}  // namespace kestrel::app
