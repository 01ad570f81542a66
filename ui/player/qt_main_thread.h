// The main-thread dispatcher of a Qt host: calls from other threads are queued into the
// GUI thread's event loop and waited for; waits on the GUI thread keep its events going.
#pragma once

#include "medialib/main_thread.h"

namespace kestrel {

class QtMainThread : public TMainThreadDispatcher {
 public:
  bool IsMainThread() const override;
  void CallInMainThread(const std::function<void()>& call) override;
  void ProcessPendingCalls(std::chrono::milliseconds max_wait) override;
};

}  // namespace kestrel
