#include "player/event_ring.h"

namespace kestrel {

namespace {
int Next(int index) {
  return (index + 1) % PlayerEventRing::kSlots;
}
int Prev(int index) {
  return (index + PlayerEventRing::kSlots - 1) % PlayerEventRing::kSlots;
}
}  // namespace

void PlayerEventRing::Post(const TPlayerEvent& event) {
  std::lock_guard lock(mutex_);
  if (read_ != write_ && slots_[Prev(write_)].Kind == event.Kind) {
    slots_[Prev(write_)] = event;
  } else {
    slots_[write_] = event;
    write_ = Next(write_);
    if (write_ == read_) read_ = Next(read_);
  }
  signal_.notify_all();
}

TPlayerEvent PlayerEventRing::Take() {
  std::lock_guard lock(mutex_);
  if (read_ == write_) return {};
  TPlayerEvent event = slots_[read_];
  read_ = Next(read_);
  return event;
}

void PlayerEventRing::Wait() {
  std::unique_lock lock(mutex_);
  signal_.wait(lock, [this] { return read_ != write_; });
}

void PlayerEventRing::Clear() {
  std::lock_guard lock(mutex_);
  read_ = write_ = 0;
}

int PlayerEventRing::Pending() const {
  std::lock_guard lock(mutex_);
  return (write_ - read_ + kSlots) % kSlots;
}

}  // namespace kestrel
