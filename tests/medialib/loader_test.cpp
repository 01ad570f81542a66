#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "medialib/av.h"
#include "medialib/library_loader.h"
#include "medialib/sdl.h"
#include "tests/support/fixtures.h"

namespace kestrel {
namespace {
namespace fs = std::filesystem;

// Every test starts and ends with nothing loaded from a folder.
class LibraryLoader : public ::testing::Test {
 protected:
  void SetUp() override {
    UnloadLibs(kPlayerLibs | LibBit(liAVDevice));
    SetLibraryPath("");
  }
  void TearDown() override {
    for (int i = 0; i < kLibraryCount; ++i) SetAfterBindHook(i, nullptr);
    UnloadLibs(kPlayerLibs | LibBit(liAVDevice));
    SetLibraryPath("");
  }

  // A fresh "LibAV" folder of this test.
  static std::string LibAVFolder(const std::string& test_name) {
    const fs::path folder = fs::path(test::TempDir()) / test_name / "LibAV";
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder.string();
  }

  static bool Resident(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle) dlclose(handle);
    return handle != nullptr;
  }
};

TEST_F(LibraryLoader, EngineAndPlayerSetsLoadThroughTheSystemSearch) {
  ASSERT_TRUE(LoadLibs(kEngineLibs)) << LastError();
  EXPECT_TRUE(LibsLoaded(kEngineLibs));
  EXPECT_FALSE(IsLibLoaded(liSDL));
  EXPECT_NE(av::avcodec_find_encoder_by_name("mpeg4"), nullptr);
  EXPECT_NE(av::swr_alloc, nullptr);

  ASSERT_TRUE(LoadLibs(kPlayerLibs)) << LastError();
  EXPECT_TRUE(LibsLoaded(kPlayerLibs));
  EXPECT_NE(sdl::SDL_GetError, nullptr);

  UnloadLibs(kPlayerLibs);
  EXPECT_FALSE(LibsLoaded(kEngineLibs));
  EXPECT_EQ(av::avcodec_find_encoder_by_name, nullptr);  // no stale entry point
  EXPECT_EQ(sdl::SDL_GetError, nullptr);
}

TEST_F(LibraryLoader, AnOverlappingSetIsNotLoadedAgain) {
  int avcodec_binds = 0;
  int sdl_binds = 0;
  SetAfterBindHook(liAVCodec, [&] { ++avcodec_binds; });
  SetAfterBindHook(liSDL, [&] { ++sdl_binds; });
  ASSERT_TRUE(LoadLibs(kEngineLibs)) << LastError();
  ASSERT_TRUE(LoadLibs(kPlayerLibs)) << LastError();
  ASSERT_TRUE(LoadLibs(kProbeLibs)) << LastError();
  EXPECT_EQ(avcodec_binds, 1);
  EXPECT_EQ(sdl_binds, 1);

  UnloadLib(liAVCodec);
  ASSERT_TRUE(LoadLibs(kProbeLibs)) << LastError();
  EXPECT_EQ(avcodec_binds, 2);
}

TEST_F(LibraryLoader, AMissingEntryPointFailsTheLibraryAndUnloadsIt) {
  const std::string folder = LibAVFolder("missing_entry");
  const std::string fake = folder + "/" + LibraryFileName(liAVCodec);
  fs::copy_file(KESTREL_FAKE_AVCODEC, fake);
  SetLibraryPath(folder);

  EXPECT_FALSE(LoadLib(liAVCodec));
  const std::string expected = "Load function avcodec_send_packet@" + LibraryFileName(liAVCodec) +
                               " error: " + fake + ": undefined symbol: avcodec_send_packet";
  EXPECT_EQ(LastError(), expected);
  EXPECT_FALSE(IsLibLoaded(liAVCodec));
  EXPECT_FALSE(Resident(fake));
  EXPECT_EQ(av::avcodec_find_decoder, nullptr);  // bound before the failure, cleared again

  // The whole set fails and is unloaded, members loaded before included.
  ASSERT_TRUE(LoadLib(liAVUtil)) << LastError();
  EXPECT_FALSE(LoadLibs(kEngineLibs));
  EXPECT_EQ(LastError(), expected);
  EXPECT_FALSE(IsLibLoaded(liAVUtil));
}

TEST_F(LibraryLoader, AFolderWithoutTheFileFallsBackToTheSystemSearch) {
  const std::string folder = LibAVFolder("fallback");
  fs::copy_file(KESTREL_FAKE_AVCODEC, folder + "/" + LibraryFileName(liAVCodec));
  SetLibraryPath(folder + "/");  // a trailing separator is not doubled
  ASSERT_TRUE(LoadLibs(LibBit(liAVUtil) | LibBit(liAVFormat))) << LastError();
  EXPECT_NE(av::avformat_version, nullptr);
  EXPECT_EQ(av::avformat_version(), static_cast<unsigned>(LIBAVFORMAT_VERSION_INT));
}

TEST_F(LibraryLoader, AFileThatIsNoLibraryGivesTheLoadLibraryText) {
  const std::string folder = LibAVFolder("not_a_library");
  const std::string file = folder + "/" + LibraryFileName(liSwScale);
  std::ofstream(file) << "not a shared object\n";
  SetLibraryPath(folder);
  EXPECT_FALSE(LoadLib(liSwScale));
  EXPECT_EQ(LastError().rfind("Load library " + file + " error: " + file + ": ", 0), 0u)
      << LastError();
  EXPECT_FALSE(IsLibLoaded(liSwScale));
}

TEST(LibraryFileNames, AreTheSonamesOfTheHeaders) {
  const struct {
    int index;
    std::string name;
  } cases[] = {
      {liAVCodec, "libavcodec.so." + std::to_string(LIBAVCODEC_VERSION_MAJOR)},
      {liAVDevice, "libavdevice.so." + std::to_string(LIBAVDEVICE_VERSION_MAJOR)},
      {liAVFilter, "libavfilter.so." + std::to_string(LIBAVFILTER_VERSION_MAJOR)},
      {liAVFormat, "libavformat.so." + std::to_string(LIBAVFORMAT_VERSION_MAJOR)},
      {liAVUtil, "libavutil.so." + std::to_string(LIBAVUTIL_VERSION_MAJOR)},
      {liSwScale, "libswscale.so." + std::to_string(LIBSWSCALE_VERSION_MAJOR)},
      {liSwResample, "libswresample.so." + std::to_string(LIBSWRESAMPLE_VERSION_MAJOR)},
      {liSDL, "libSDL2-2.0.so.0"},
  };
  for (const auto& c : cases) EXPECT_EQ(LibraryFileName(c.index), c.name);
}

}  // namespace
}  // namespace kestrel
