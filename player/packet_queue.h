// A packet queue between the read thread and one decoder, with its own lock and signal.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

extern "C" {
struct AVPacket;
}

namespace kestrel {

// Marks the flush packet: a queue entry whose data pointer is this text tells its decoder
// to flush (after opening the stream and after each seek).
extern const char kFlushPacketData[];
bool IsFlushPacket(const AVPacket* packet);

// Each entry counts this many bytes besides its payload toward the queue size.
constexpr int kPacketNodeBytes = 72;

class PacketQueue {
 public:
  PacketQueue() = default;
  ~PacketQueue();
  PacketQueue(const PacketQueue&) = delete;
  PacketQueue& operator=(const PacketQueue&) = delete;

  // Clears the abort request so the queue can be used again.
  void Start();
  // Appends the packet, taking its payload over (the packet is left empty). -1 on failure.
  int Put(AVPacket* packet);
  int PutFlush();
  // Appends an empty packet (no data, size 0) of the stream: it makes the decoder release
  // the pictures it holds back.
  int PutEmpty(int stream_index);
  // 1 with *out set (caller frees with av_packet_free), 0 when empty and not blocking,
  // -1 once aborted.
  int Get(AVPacket** out, bool block);
  void Abort();
  void Flush();

  bool Aborted() const;
  int Count() const;
  std::int64_t SizeBytes() const;

 private:
  int Append(AVPacket* packet);

  mutable std::mutex mutex_;
  std::condition_variable cond_;
  std::deque<AVPacket*> packets_;  // guarded by mutex_
  std::int64_t size_bytes_ = 0;    // guarded by mutex_
  bool abort_ = false;             // guarded by mutex_
};

}  // namespace kestrel
