// The ring of pending player events between the playback threads and the event thread.
// Ten slots, so at most nine events wait; a new event of the same kind as the newest
// pending one replaces it, and beyond nine the oldest is dropped.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "player/player_types.h"

namespace kestrel {

enum class TPlayerEventKind { None = 0, Position = 1, State = 2, EndThread = 3 };

struct TPlayerEvent {
  TPlayerEventKind Kind = TPlayerEventKind::None;
  TPlayState State = psPlay;
  std::int64_t Position = 0;
};

class PlayerEventRing {
 public:
  static constexpr int kSlots = 10;

  void Post(const TPlayerEvent& event);
  // The oldest pending event, or one of kind None when the ring is empty.
  TPlayerEvent Take();
  // Waits until an event is pending.
  void Wait();
  void Clear();
  int Pending() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable signal_;
  std::array<TPlayerEvent, kSlots> slots_{};  // guarded by mutex_
  int read_ = 0;                              // guarded by mutex_
  int write_ = 0;                             // guarded by mutex_; one past the newest
};

}  // namespace kestrel
