#include <gtest/gtest.h>

#include "medialib/av.h"
#include "medialib/library_loader.h"
#include "medialib/sdl.h"

namespace kestrel {
namespace {

TEST(LibraryLoader, EngineAndPlayerSetsLoadThroughTheSystemSearch) {
  SetLibraryPath("");
  ASSERT_TRUE(LoadLibs(kEngineLibs)) << LastError();
  EXPECT_TRUE(LibsLoaded(kEngineLibs));
  EXPECT_NE(av::avcodec_find_encoder_by_name, nullptr);
  EXPECT_NE(av::avcodec_find_encoder_by_name("mpeg4"), nullptr);

  ASSERT_TRUE(LoadLibs(kPlayerLibs)) << LastError();
  EXPECT_TRUE(IsLibLoaded(liSDL));
  EXPECT_NE(sdl::SDL_GetError, nullptr);
}

TEST(LibraryLoader, FileNamesAreTheSonamesOfTheHeaders) {
  EXPECT_EQ(LibraryFileName(liAVCodec),
            "libavcodec.so." + std::to_string(LIBAVCODEC_VERSION_MAJOR));
  EXPECT_EQ(LibraryFileName(liSDL), "libSDL2-2.0.so.0");
}

}  // namespace
}  // namespace kestrel
