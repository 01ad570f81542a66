#include "player/host_services.h"

#include "medialib/av.h"

namespace kestrel {

std::string PlayerErrorText(const std::string& prefix, int error) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {0};
  av::av_strerror(error, text, sizeof text);
  return prefix + ": " + text;
}

std::string PlayerURL(const std::string& file_name) { return file_name; }

bool OnMainThread() { return true; }
void CallOnMainThread(const std::function<void()>& call) { call(); }
void ServiceMainThread() {}

}  // namespace kestrel
