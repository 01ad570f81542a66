// The process-wide services the player relies on: error texts, library URLs of file
// names, and delivery of calls on the main thread.
#pragma once

#include <functional>
#include <string>

namespace kestrel {

// prefix + ": " + the text of a library error number.
std::string PlayerErrorText(const std::string& prefix, int error);
// The URL under which the media libraries open a local file name.
std::string PlayerURL(const std::string& file_name);

bool OnMainThread();
// Runs the call on the main thread and waits for it (directly when already there).
void CallOnMainThread(const std::function<void()>& call);
// Runs the calls waiting for the main thread; only on the main thread.
void ServiceMainThread();

}  // namespace kestrel
