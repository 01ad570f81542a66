#include "engine/encoder_names.h"
#include "tests/engine/option_test_support.h"

namespace kestrel::test {
namespace {

using EncoderNames = OptionTest;

bool Usable(const char* name) {
  const AVCodec* codec = av::avcodec_find_encoder_by_name(name);
  return codec && !(codec->capabilities & AV_CODEC_CAP_EXPERIMENTAL);
}

// Every requested name resolves to an encoder the loaded libraries can open, and a
// substitute is chosen (and logged) exactly when the requested one is not usable.
TEST_F(EncoderNames, ResolveToAnUsableEncoder) {
  for (const TEncoderSubstitute& row : EncoderSubstitutes()) {
    SCOPED_TRACE(row.requested);
    log_.Clear();
    const std::string resolved = ResolveEncoderName(row.requested, nullptr);
    EXPECT_TRUE(Usable(resolved.c_str()));
    if (Usable(row.requested)) {
      EXPECT_EQ(resolved, row.requested);
      EXPECT_EQ(log_.Count(), 0u);
    } else {
      EXPECT_EQ(resolved, row.substitute);
      EXPECT_TRUE(log_.Has(AV_LOG_INFO, std::string("Encoder '") + row.requested +
                                            "' is not available, using '" + row.substitute +
                                            "' instead"));
    }
  }
}

TEST_F(EncoderNames, KnownMissingNamesMapAsExpected) {
  // Today's libraries have no libfaac and no libflac, and their own vorbis is experimental.
  EXPECT_EQ(ResolveEncoderName("libfaac", nullptr), "aac");
  EXPECT_EQ(ResolveEncoderName("libflac", nullptr), "flac");
  if (av::avcodec_find_encoder_by_name("libvorbis")) {
    EXPECT_EQ(ResolveEncoderName("vorbis", nullptr), "libvorbis");
  }
  // Names outside the table, present or not, pass unchanged.
  EXPECT_EQ(ResolveEncoderName("mpeg4", nullptr), "mpeg4");
  EXPECT_EQ(ResolveEncoderName("no_such_encoder", nullptr), "no_such_encoder");
}

TEST_F(EncoderNames, CodecOptionsStoreTheResolvedName) {
  engine_.SetOption("acodec", "libfaac");
  EXPECT_EQ(engine_.Options().audio_codec_name, "aac");
  engine_.SetOption("acodec", "libopencore_amrnb");
  EXPECT_EQ(engine_.Options().audio_codec_name,
            Usable("libopencore_amrnb") ? "libopencore_amrnb" : "aac");
  // Private options of the resolved encoder are found.
  EXPECT_TRUE(engine_.SetAVOption(Usable("libopencore_amrnb") ? "dtx" : "aac_coder",
                                  Usable("libopencore_amrnb") ? "1" : "fast"));
}

}  // namespace
}  // namespace kestrel::test
