// The "vol" gain of decoded audio: 256 leaves the samples as they are, 512 doubles them.
#pragma once

struct AVFrame;

namespace kestrel {

constexpr int kUnityVolume = 256;

// Scales every sample of a writable frame in place.
//   signed 16-bit:  s -> (s * vol + 128) >> 8, clipped to -32768 ... 32767
//   signed 32-bit:  the same formula in 64-bit arithmetic, clipped to the 32-bit range
//   signed 64-bit:  the same formula in 128-bit arithmetic, clipped to the 64-bit range
//   unsigned 8-bit: the formula on s - 128, clipped to -128 ... 127, then + 128
//   float, double:  s * vol / 256, not clipped (the encoder clips)
// Packed and planar layouts alike. Does nothing when vol is 256.
void ApplyVolume(AVFrame& frame, int vol);

}  // namespace kestrel
