#include "player/packet_queue.h"

#include "medialib/av.h"

namespace kestrel {

const char kFlushPacketData[] = "FLUSH";

bool IsFlushPacket(const AVPacket* packet) {
  return packet && packet->data == reinterpret_cast<const uint8_t*>(kFlushPacketData);
}

PacketQueue::~PacketQueue() {
  Flush();
}

void PacketQueue::Start() {
  std::lock_guard lock(mutex_);
  abort_ = false;
}

int PacketQueue::Append(AVPacket* packet) {
  std::lock_guard lock(mutex_);
  packets_.push_back(packet);
  size_bytes_ += kPacketNodeBytes + packet->size;
  cond_.notify_one();
  return 0;
}

int PacketQueue::Put(AVPacket* packet) {
  if (IsFlushPacket(packet)) return PutFlush();
  AVPacket* copy = av::av_packet_alloc();
  if (!copy) return -1;
  // The queue takes the reader's reference over, so the buffer is released only by the
  // thread that consumes it.
  if (packet->buf) {
    av::av_packet_move_ref(copy, packet);
  } else if (av::av_packet_ref(copy, packet) < 0) {
    av::av_packet_free(&copy);
    return -1;
  }
  return Append(copy);
}

int PacketQueue::PutFlush() {
  AVPacket* flush = av::av_packet_alloc();
  if (!flush) return -1;
  // No buffer owns this pointer, so freeing the packet leaves the text alone.
  flush->data = reinterpret_cast<uint8_t*>(const_cast<char*>(kFlushPacketData));
  flush->size = 0;
  return Append(flush);
}

int PacketQueue::PutEmpty(int stream_index) {
  AVPacket* empty = av::av_packet_alloc();
  if (!empty) return -1;
  empty->stream_index = stream_index;
  return Append(empty);
}

int PacketQueue::Get(AVPacket** out, bool block) {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (abort_) return -1;
    if (!packets_.empty()) {
      *out = packets_.front();
      packets_.pop_front();
      size_bytes_ -= kPacketNodeBytes + (*out)->size;
      return 1;
    }
    if (!block) return 0;
    cond_.wait(lock);
  }
}

void PacketQueue::Abort() {
  std::lock_guard lock(mutex_);
  abort_ = true;
  cond_.notify_all();
}

void PacketQueue::Flush() {
  std::lock_guard lock(mutex_);
  for (AVPacket* packet : packets_) av::av_packet_free(&packet);
  packets_.clear();
  size_bytes_ = 0;
}

bool PacketQueue::Aborted() const {
  std::lock_guard lock(mutex_);
  return abort_;
}

int PacketQueue::Count() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(packets_.size());
}

std::int64_t PacketQueue::SizeBytes() const {
  std::lock_guard lock(mutex_);
  return size_bytes_;
}

}  // namespace kestrel
