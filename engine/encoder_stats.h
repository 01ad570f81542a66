// What a video encoder reports about each coded picture, and the texts made of it: the
// per-frame statistics file line, the quantiser histogram and the PSNR part of the
// progress text, and the debug dump of a read packet.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "medialib/av.h"

namespace kestrel {

struct TEncodedFrameStats {
  float quality = -1;  // quantiser (lambda / FF_QP2LAMBDA); -1 unknown
  char type = '?';     // picture type letter
  bool has_error = false;
  std::array<uint64_t, 3> error{};  // sum of squared errors per plane (Y, U, V)
};

// The encoder's statistics attached to a coded packet; false when it carries none.
bool ReadEncodedFrameStats(const AVPacket& packet, TEncodedFrameStats* stats);

// Peak signal-to-noise ratio in dB of a mean squared error normalised to 0..1.
double Psnr(double normalised_error);

// One line of the per-frame statistics file (ends with a new line). `frame` is the
// stream's frame counter, `time_s` the output time reached (at least 0.01 is used),
// `time_base_s` the encoder's frame duration.
struct TVideoStatsLine {
  int frame = 0;
  TEncodedFrameStats stats;
  bool psnr = false;
  int width = 0, height = 0;
  int frame_size = 0;
  int64_t video_bytes = 0;
  double time_s = 0;
  double time_base_s = 0;
};
std::string VideoStatsText(const TVideoStatsLine& line);

// Counts of rounded quantisers 0..51; printed as 32 hexadecimal digits of log2(count + 1).
class TQpHistogram {
 public:
  void Add(float quality);
  std::string Text() const;

 private:
  std::array<int, 52> counts_{};
};

// "PSNR=Y:%2.2f U:%2.2f V:%2.2f *:%2.2f " for squared errors summed over `frames` pictures
// of width x height (chroma planes a quarter of that).
std::string PsnrText(const std::array<uint64_t, 3>& error, int width, int height, int64_t frames);

// A packet as the debug log shows it: stream, key flag, duration, timestamps in seconds,
// size, and with `hex` its bytes, 16 per line with their printable characters.
std::string PacketDumpText(const AVPacket& packet, AVRational time_base, bool hex);

}  // namespace kestrel
