#include "engine/encoder_stats.h"

#include <cmath>

#include "engine/option_values.h"

namespace kestrel {
namespace {

uint64_t ReadLe(const uint8_t* data, int bytes) {
  uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | data[i];
  return value;
}

}  // namespace

bool ReadEncodedFrameStats(const AVPacket& packet, TEncodedFrameStats* stats) {
  size_t size = 0;
  const uint8_t* data = av::av_packet_get_side_data(&packet, AV_PKT_DATA_QUALITY_STATS, &size);
  // quality (32 bits), picture type, error count, two reserved bytes, then 64-bit errors.
  if (!data || size < 8) return false;
  *stats = TEncodedFrameStats{};
  stats->quality = static_cast<float>(static_cast<int32_t>(ReadLe(data, 4))) / FF_QP2LAMBDA;
  stats->type = av::av_get_picture_type_char(static_cast<AVPictureType>(data[4]));
  const size_t count = data[5];
  stats->has_error = count >= 3 && size >= 8 + 3 * 8;
  if (stats->has_error)
    for (size_t j = 0; j < 3; ++j) stats->error[j] = ReadLe(data + 8 + 8 * j, 8);
  return true;
}

double Psnr(double normalised_error) {
  return -10.0 * std::log10(normalised_error);
}

std::string VideoStatsText(const TVideoStatsLine& line) {
  std::string text = FormatText("frame= %5d q= %2.1f ", line.frame, line.stats.quality);
  if (line.psnr && line.stats.has_error)
    text += FormatText("PSNR= %6.2f ",
                       Psnr(static_cast<double>(line.stats.error[0]) /
                            (static_cast<double>(line.width) * line.height * 255.0 * 255.0)));
  text += FormatText("f_size= %6d ", line.frame_size);
  const double time = line.time_s < 0.01 ? 0.01 : line.time_s;
  const double frame_rate =
      line.time_base_s > 0 ? line.frame_size * 8 / line.time_base_s / 1000 : 0;
  const double average = line.video_bytes * 8 / time / 1000;
  text += FormatText("s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= %7.1fkbits/s ",
                     line.video_bytes / 1024.0, time, frame_rate, average);
  text += FormatText("type= %c\n", line.stats.type);
  return text;
}

void TQpHistogram::Add(float quality) {
  const long qp = std::lround(quality);
  if (qp >= 0 && qp < static_cast<long>(counts_.size())) ++counts_[qp];
}

std::string TQpHistogram::Text() const {
  std::string text;
  for (int j = 0; j < 32; ++j)
    text += FormatText("%X", static_cast<int>(std::lround(std::log2(counts_[j] + 1.0))));
  return text;
}

std::string PsnrText(const std::array<uint64_t, 3>& error, int width, int height, int64_t frames) {
  static const char kPlanes[] = "YUV";
  std::string text = "PSNR=";
  double error_sum = 0, scale_sum = 0;
  for (int j = 0; j < 3; ++j) {
    double scale = static_cast<double>(width) * height * 255.0 * 255.0 * frames;
    if (j) scale /= 4;
    error_sum += static_cast<double>(error[j]);
    scale_sum += scale;
    text += FormatText("%c:%2.2f ", kPlanes[j], Psnr(error[j] / scale));
  }
  text += FormatText("*:%2.2f ", Psnr(error_sum / scale_sum));
  return text;
}

std::string PacketDumpText(const AVPacket& packet, AVRational time_base, bool hex) {
  auto seconds = [&](int64_t value) {
    return value == AV_NOPTS_VALUE ? std::string("N/A")
                                   : FormatText("%0.3f", value * av_q2d(time_base));
  };
  std::string text = FormatText("stream #%d:\n", packet.stream_index);
  text += FormatText("  keyframe=%d\n", (packet.flags & AV_PKT_FLAG_KEY) != 0);
  text += "  duration=" + seconds(packet.duration) + "\n";
  text += "  dts=" + seconds(packet.dts) + "  pts=" + seconds(packet.pts) + "\n";
  text += FormatText("  size=%d\n", packet.size);
  if (!hex) return text;
  for (int offset = 0; offset < packet.size; offset += 16) {
    const int count = packet.size - offset < 16 ? packet.size - offset : 16;
    text += FormatText("%08x ", offset);
    for (int i = 0; i < 16; ++i)
      text += i < count ? FormatText(" %02x", packet.data[offset + i]) : std::string("   ");
    text += "  ";
    for (int i = 0; i < count; ++i) {
      const uint8_t c = packet.data[offset + i];
      text += c < 32 || c > 126 ? '.' : static_cast<char>(c);
    }
    text += "\n";
  }
  return text;
}

}  // namespace kestrel
