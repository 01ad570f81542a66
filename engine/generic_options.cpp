#include "engine/generic_options.h"

#include <cstring>
#include <set>

#include "engine/engine_log.h"
#include "engine/option_values.h"
#include "medialib/av.h"
#include "medialib/library_loader.h"

namespace kestrel {
namespace {

// Option flag masks per codec media type: video, audio, data, subtitle, attachment.
// A mask of 0 matches every option.
constexpr std::array<int, kCodecOptionTypes> kTypeMasks = {
    AV_OPT_FLAG_VIDEO_PARAM, AV_OPT_FLAG_AUDIO_PARAM, 0, AV_OPT_FLAG_SUBTITLE_PARAM, 0};

// Today's libraries flag these rate options for audio too; the engine has always meant
// them for video only (audio has "ab"), so a video bit rate never reaches an audio encoder.
bool VideoOnly(const std::string& name) {
  static const std::set<std::string> kNames = {"b", "maxrate", "minrate"};
  return kNames.count(name) > 0;
}

bool TypeTakes(int type, const std::string& name) {
  return type == AVMEDIA_TYPE_VIDEO || !VideoOnly(name);
}

// The option's current value in a text the library parses again; flags as a number so
// that relative values ("+loop") are kept resolved.
std::string ReadBack(void* obj, const AVOption* option) {
  if (option->type == AV_OPT_TYPE_FLAGS) {
    int64_t flags = 0;
    av::av_opt_get_int(obj, option->name, 0, &flags);
    return std::to_string(flags);
  }
  uint8_t* text = nullptr;
  if (av::av_opt_get(obj, option->name, 0, &text) < 0 || !text) return std::string();
  std::string value(reinterpret_cast<const char*>(text));
  av::av_free(text);
  return value;
}

void Record(TOptionValues* values, const std::string& name, const std::string& value) {
  for (auto& entry : *values) {
    if (entry.first == name) {
      entry.second = value;
      return;
    }
  }
  values->emplace_back(name, value);
}

// Sets one option on obj when obj has it among the options matching mask.
// Returns the option found (null when none) and its set result in *ret.
const AVOption* SetOn(void* obj, const std::string& name, const std::string& value, int mask,
                      int* ret, TOptionValues* values) {
  if (!obj) return nullptr;
  const AVOption* option = av::av_opt_find(obj, name.c_str(), nullptr, mask, 0);
  if (!option) return nullptr;
  *ret = av::av_opt_set(obj, name.c_str(), value.c_str(), 0);
  if (*ret >= 0) Record(values, option->name, ReadBack(obj, option));
  return option;
}

}  // namespace

TGenericOptions::TGenericOptions(int scaler_flags) {
  Allocate(scaler_flags);
}

TGenericOptions::~TGenericOptions() {
  Free();
}

void TGenericOptions::Reset(int scaler_flags) {
  Free();
  accepted_names_.clear();
  for (auto& values : codec_values_) values.clear();
  format_values_.clear();
  scaler_values_.clear();
  Allocate(scaler_flags);
}

void TGenericOptions::Allocate(int scaler_flags) {
  if (!LibsLoaded(LibBit(liAVCodec) | LibBit(liAVFormat) | LibBit(liAVUtil) | LibBit(liSwScale)))
    return;
  for (int type = 0; type < kCodecOptionTypes; ++type) {
    codec_ctx_[type] = av::avcodec_alloc_context3(nullptr);
    if (codec_ctx_[type]) codec_ctx_[type]->codec_type = static_cast<AVMediaType>(type);
  }
  format_ctx_ = av::avformat_alloc_context();
  sws_ctx_ = av::sws_alloc_context();
  if (sws_ctx_) {
    for (const char* size : {"srcw", "srch", "dstw", "dsth"})
      av::av_opt_set_int(sws_ctx_, size, 16, 0);
    av::av_opt_set_int(sws_ctx_, "sws_flags", scaler_flags, 0);
  }
}

void TGenericOptions::Free() {
  if (!IsLibLoaded(liAVCodec)) return;  // nothing was allocated
  for (auto& ctx : codec_ctx_) av::avcodec_free_context(&ctx);
  for (auto& ctx : encoder_ctx_) av::avcodec_free_context(&ctx);
  for (auto& name : encoder_name_) name.clear();
  if (format_ctx_) av::avformat_free_context(format_ctx_);
  format_ctx_ = nullptr;
  if (muxer_ctx_) av::avformat_free_context(muxer_ctx_);
  muxer_ctx_ = nullptr;
  muxer_name_.clear();
  if (sws_ctx_) av::sws_freeContext(sws_ctx_);
  sws_ctx_ = nullptr;
}

void* TGenericOptions::EncoderPrivate(int type, const std::string& encoder_name) {
  if (encoder_name.empty()) return nullptr;
  if (encoder_name != encoder_name_[type]) {
    av::avcodec_free_context(&encoder_ctx_[type]);
    encoder_name_[type] = encoder_name;
    const AVCodec* codec = av::avcodec_find_encoder_by_name(encoder_name.c_str());
    if (codec && codec->priv_class && codec->type == type)
      encoder_ctx_[type] = av::avcodec_alloc_context3(codec);
  }
  return encoder_ctx_[type] ? encoder_ctx_[type]->priv_data : nullptr;
}

void* TGenericOptions::FormatPrivate(const std::string& format_name) {
  if (format_name.empty()) return nullptr;
  if (format_name != muxer_name_) {
    if (muxer_ctx_) av::avformat_free_context(muxer_ctx_);
    muxer_ctx_ = nullptr;
    muxer_name_ = format_name;
    const AVOutputFormat* format = av::av_guess_format(format_name.c_str(), nullptr, nullptr);
    if (format && format->priv_class)
      av::avformat_alloc_output_context2(&muxer_ctx_, format, nullptr, nullptr);
  }
  return muxer_ctx_ ? muxer_ctx_->priv_data : nullptr;
}

// One codec media type: the generic codec options matching the type's mask first; the
// pending encoder's private options when the generic context has no such option or
// refuses the value but the encoder takes it.
bool TGenericOptions::TrySetCodec(int type, const std::string& name, const std::string& value,
                                  int mask, const TPendingNames& pending, bool* found, int* ret) {
  int generic_ret = 0;
  const bool generic =
      SetOn(codec_ctx_[type], name, value, mask, &generic_ret, &codec_values_[type]) != nullptr;
  if (generic && generic_ret >= 0) {
    *found = true;
    *ret = generic_ret;
    return true;
  }
  int private_ret = 0;
  void* priv = EncoderPrivate(type, pending.encoder[type]);
  const bool in_private = SetOn(priv, name, value, 0, &private_ret, &codec_values_[type]);
  if (in_private && (private_ret >= 0 || !generic)) {
    *found = true;
    *ret = private_ret;
    return true;
  }
  if (generic) {
    *found = true;
    *ret = generic_ret;
    return true;
  }
  return false;
}

TSetResult TGenericOptions::Set(const std::string& raw_name, const std::string& raw_value,
                                const TPendingNames& pending) {
  const std::string name = TrimText(raw_name);
  const std::string value = TrimText(raw_value);
  if (name.empty() || value.empty() || !codec_ctx_[0]) return TSetResult::kNotFound;

  // A value one media type refuses (a generic option that another type's encoder takes
  // privately, say) still counts when some type took it.
  bool found = false;
  bool taken = false;
  int ret = 0;
  for (int type = 0; type < kCodecOptionTypes; ++type) {
    int type_ret = 0;
    if (TypeTakes(type, name) &&
        TrySetCodec(type, name, value, kTypeMasks[type], pending, &found, &type_ret)) {
      taken = taken || type_ret >= 0;
      if (type_ret < 0) ret = type_ret;
    }
  }
  if (taken) ret = 0;
  if (!found) {
    found = SetOn(format_ctx_, name, value, 0, &ret, &format_values_) ||
            SetOn(FormatPrivate(pending.output_format), name, value, 0, &ret, &format_values_);
  }
  if (!found) found = SetOn(sws_ctx_, name, value, 0, &ret, &scaler_values_);
  if (!found && name.size() > 1) {
    int type = -1;
    if (name[0] == 'a') type = AVMEDIA_TYPE_AUDIO;
    if (name[0] == 'v') type = AVMEDIA_TYPE_VIDEO;
    if (name[0] == 's') type = AVMEDIA_TYPE_SUBTITLE;
    if (type >= 0)
      TrySetCodec(type, name.substr(1), value, kTypeMasks[type], pending, &found, &ret);
  }
  if (found && ret < 0) {
    LibraryLog(AV_LOG_ERROR,
               FormatText("Invalid value \"%s\" for option \"%s\"\n", value.c_str(), name.c_str()));
    return TSetResult::kInvalidValue;
  }
  if (!found) return TSetResult::kNotFound;
  accepted_names_.push_back(name);
  int64_t codec_debug = 0, format_debug = 0;
  av::av_opt_get_int(codec_ctx_[AVMEDIA_TYPE_VIDEO], "debug", 0, &codec_debug);
  av::av_opt_get_int(format_ctx_, "fdebug", 0, &format_debug);
  if (codec_debug != 0 || format_debug != 0) SetEngineLogLevel(AV_LOG_DEBUG);
  return TSetResult::kSet;
}

const TOptionValues& TGenericOptions::CodecValues(AVMediaType type) const {
  static const TOptionValues kNone;
  return type >= 0 && type < kCodecOptionTypes ? codec_values_[type] : kNone;
}

const AVCodecContext* TGenericOptions::CodecContext(AVMediaType type) const {
  return type >= 0 && type < kCodecOptionTypes ? codec_ctx_[type] : nullptr;
}

AVDictionary* TGenericOptions::ToDictionary(const TOptionValues& values) {
  AVDictionary* dict = nullptr;
  for (const auto& [name, value] : values) av::av_dict_set(&dict, name.c_str(), value.c_str(), 0);
  return dict;
}

}  // namespace kestrel
