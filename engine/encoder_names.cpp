#include "engine/encoder_names.h"

#include "engine/engine_log.h"
#include "engine/option_values.h"
#include "medialib/av.h"
#include "medialib/library_loader.h"

namespace kestrel {
namespace {

bool Usable(const std::string& name) {
  const AVCodec* codec = av::avcodec_find_encoder_by_name(name.c_str());
  return codec && !(codec->capabilities & AV_CODEC_CAP_EXPERIMENTAL);
}

}  // namespace

const std::vector<TEncoderSubstitute>& EncoderSubstitutes() {
  static const std::vector<TEncoderSubstitute> kTable = {
      {"libfaac", "aac"},
      {"libflac", "flac"},
      {"vorbis", "libvorbis"},       // the native one is experimental
      {"libopencore_amrnb", "aac"},  // only libavcodec-extra has AMR-NB encoding
  };
  return kTable;
}

std::string ResolveEncoderName(const std::string& name, const void* sender) {
  if (!IsLibLoaded(liAVCodec)) return name;
  for (const TEncoderSubstitute& row : EncoderSubstitutes()) {
    if (name != row.requested) continue;
    if (Usable(name) || !av::avcodec_find_encoder_by_name(row.substitute)) return name;
    EngineLog(sender, AV_LOG_INFO,
              FormatText("Encoder '%s' is not available, using '%s' instead", row.requested,
                         row.substitute));
    return row.substitute;
  }
  return name;
}

}  // namespace kestrel
