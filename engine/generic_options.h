// The generic library-option contexts of one engine and the values they accepted.
//
// One codec option context per media type (video, audio, data, subtitle, attachment),
// one container option context and one scaler context stand for the codec, muxer and
// scaler contexts that stream setup creates later. Options of today's libraries that
// moved out of the generic codec context into encoders' or muxers' private options are
// found in the private options of the encoder (per media type) or output format that is
// pending when the option is given. Every accepted value is kept, read back from the
// library in a form it parses again, per media type for codecs and once for the
// container and the scaler, so that stream setup hands exactly these to what it opens.
#pragma once

#include <array>
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/dict.h>
}

struct AVCodecContext;
struct AVFormatContext;
struct SwsContext;

namespace kestrel {

constexpr int kCodecOptionTypes = 5;  // AVMEDIA_TYPE_VIDEO ... AVMEDIA_TYPE_ATTACHMENT

// Accepted (option name, value) pairs in the order first accepted; a later value of the
// same name replaces the earlier one in place.
using TOptionValues = std::vector<std::pair<std::string, std::string>>;

// What is pending when an option is given: the encoder name per codec media type
// (empty for none or stream copy) and the container format name.
struct TPendingNames {
  std::array<std::string, kCodecOptionTypes> encoder;
  std::string output_format;
};

enum class TSetResult { kSet, kNotFound, kInvalidValue };

class TGenericOptions {
 public:
  explicit TGenericOptions(int scaler_flags);
  ~TGenericOptions();
  TGenericOptions(const TGenericOptions&) = delete;
  TGenericOptions& operator=(const TGenericOptions&) = delete;

  // Fresh contexts with the libraries' defaults; forgets every accepted value and name.
  void Reset(int scaler_flags);

  // The generic setter's search (see TFFmpegOptions::SetAVOption for the order).
  TSetResult Set(const std::string& name, const std::string& value, const TPendingNames& pending);

  const std::vector<std::string>& AcceptedNames() const { return accepted_names_; }
  const TOptionValues& CodecValues(AVMediaType type) const;
  const TOptionValues& FormatValues() const { return format_values_; }
  const TOptionValues& ScalerValues() const { return scaler_values_; }

  // The generic contexts, for reading back values (never null while libraries are loaded).
  const AVCodecContext* CodecContext(AVMediaType type) const;
  const AVFormatContext* FormatContext() const { return format_ctx_; }

  // A new dictionary holding the accepted values, ready for avcodec_open2 /
  // avformat_write_header; the caller frees it with av_dict_free.
  static AVDictionary* ToDictionary(const TOptionValues& values);

 private:
  void Allocate(int scaler_flags);
  void Free();
  bool TrySetCodec(int type, const std::string& name, const std::string& value, int mask,
                   const TPendingNames& pending, bool* found, int* ret);
  void* EncoderPrivate(int type, const std::string& encoder_name);
  void* FormatPrivate(const std::string& format_name);

  std::array<AVCodecContext*, kCodecOptionTypes> codec_ctx_{};
  AVFormatContext* format_ctx_ = nullptr;
  SwsContext* sws_ctx_ = nullptr;
  // Scratch contexts whose private options stand for the pending encoders and muxer.
  std::array<AVCodecContext*, kCodecOptionTypes> encoder_ctx_{};
  std::array<std::string, kCodecOptionTypes> encoder_name_{};
  AVFormatContext* muxer_ctx_ = nullptr;
  std::string muxer_name_;

  std::vector<std::string> accepted_names_;
  std::array<TOptionValues, kCodecOptionTypes> codec_values_{};
  TOptionValues format_values_;
  TOptionValues scaler_values_;
};

}  // namespace kestrel
