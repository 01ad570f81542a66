// Run-time loader of the media libraries (FFmpeg and SDL2).
//
// The libraries are opened with dlopen, first from the folder LibraryPath() when it holds
// the file, else through the system search, and every entry point the project calls is
// bound by name into the tables of medialib/av.h and medialib/sdl.h, all or nothing.
// Loading happens on the main thread; the state is process-wide.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace kestrel {

// Library indexes, in load order.
enum TLibraryIndex : int {
  liAVCodec = 0,
  liAVDevice = 1,
  liAVFilter = 2,
  liAVFormat = 3,
  liAVUtil = 4,
  liSwScale = 5,
  liSwResample = 6,
  liSDL = 7,
};
constexpr int kLibraryCount = 8;

// A set of libraries, bit i = library i.
using TLibrarySet = std::uint8_t;
constexpr TLibrarySet LibBit(TLibraryIndex i) {
  return static_cast<TLibrarySet>(1u << i);
}

constexpr TLibrarySet kEngineLibs = LibBit(liAVCodec) | LibBit(liAVFilter) | LibBit(liAVFormat) |
                                    LibBit(liAVUtil) | LibBit(liSwScale) | LibBit(liSwResample);
constexpr TLibrarySet kPlayerLibs = kEngineLibs | LibBit(liSDL);
constexpr TLibrarySet kProbeLibs =
    LibBit(liAVCodec) | LibBit(liAVFormat) | LibBit(liAVUtil) | LibBit(liSwScale);

// Folder tried first for later loads; empty means the system search only.
void SetLibraryPath(const std::string& folder);
std::string LibraryPath();

// Text of the last failure ("Load library %s error: %s", "Load function %s@%s error: %s").
std::string LastError();

// The file name (soname) of library i that the build's headers belong to,
// e.g. "libavcodec.so.59", "libSDL2-2.0.so.0".
std::string LibraryFileName(int i);

bool LoadLib(int i);
void UnloadLib(int i);
bool LoadLibs(TLibrarySet set);
void UnloadLibs(TLibrarySet set);
bool IsLibLoaded(int i);
bool LibsLoaded(TLibrarySet set);

// Whether binding avutil installs the log capture (medialib/media_logger.h) as the
// libraries' log callback; true unless switched off before loading.
void SetInstallLogHook(bool install);
bool InstallLogHook();

// Called each time library i becomes bound, after its registration steps (not when a
// later set finds it loaded already). Set by the modules that own such steps; may be empty.
void SetAfterBindHook(int i, std::function<void()> hook);

// The process-wide lock held around every codec open and close and every
// stream-information analysis, by engine, probe and player alike.
std::mutex& CodecLock();

}  // namespace kestrel
