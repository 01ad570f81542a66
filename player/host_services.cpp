#include "player/host_services.h"

#include <chrono>

#include "medialib/file_names.h"
#include "medialib/main_thread.h"
#include "medialib/text_utils.h"

namespace kestrel {

std::string PlayerErrorText(const std::string& prefix, int error) {
  return FormatErrorText(prefix, error);
}

std::string PlayerURL(const std::string& file_name) {
  return FileNameToURL(file_name);
}

bool OnMainThread() {
  return IsMainThread();
}
void CallOnMainThread(const std::function<void()>& call) {
  CallInMainThread(call);
}
void ServiceMainThread() {
  ProcessPendingCalls(std::chrono::milliseconds(0));
}

}  // namespace kestrel
