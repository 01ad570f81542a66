#include "medialib/library_loader.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <array>
#include <cassert>
#include <stdexcept>

#include "medialib/av.h"
#include "medialib/media_logger.h"
#include "medialib/sdl.h"

// The entry-point tables, null until bound.
namespace av {
#define KESTREL_SYMBOL(name) decltype(&::name) name = nullptr;
#include "medialib/symbols/avcodec.inc"
#include "medialib/symbols/avdevice.inc"
#include "medialib/symbols/avfilter.inc"
#include "medialib/symbols/avformat.inc"
#include "medialib/symbols/avutil.inc"
#include "medialib/symbols/swresample.inc"
#include "medialib/symbols/swscale.inc"
#undef KESTREL_SYMBOL
}  // namespace av

namespace sdl {
#define KESTREL_SYMBOL(name) decltype(&::name) name = nullptr;
#include "medialib/symbols/sdl2.inc"
#undef KESTREL_SYMBOL
}  // namespace sdl

namespace kestrel {
namespace {

std::string Format(const char* pattern, const std::string& a, const std::string& b,
                   const std::string& c = {}) {
  std::string out;
  int arg = 0;
  for (const char* p = pattern; *p; ++p) {
    if (p[0] == '%' && p[1] == 's') {
      out += arg == 0 ? a : arg == 1 ? b : c;
      ++arg;
      ++p;
    } else {
      out += *p;
    }
  }
  return out;
}

std::string DlError() {
  const char* e = dlerror();
  return e ? e : "unknown error";
}

// Resolves one entry point; throws with the loader's text when it is missing.
template <typename Fn>
void Resolve(void* module, const char* name, const std::string& file, Fn& slot) {
  dlerror();
  void* address = dlsym(module, name);
  if (!address) {
    throw std::runtime_error(Format("Load function %s@%s error: %s", name, file, DlError()));
  }
  slot = reinterpret_cast<Fn>(address);
}

void BindAvcodec(void* module, const std::string& file) {
#define KESTREL_SYMBOL(name) Resolve(module, #name, file, av::name);
#include "medialib/symbols/avcodec.inc"
#undef KESTREL_SYMBOL
}
void UnbindAvcodec() {
#define KESTREL_SYMBOL(name) av::name = nullptr;
#include "medialib/symbols/avcodec.inc"
#undef KESTREL_SYMBOL
}

void BindAvdevice(void* module, const std::string& file) {
#define KESTREL_SYMBOL(name) Resolve(module, #name, file, av::name);
#include "medialib/symbols/avdevice.inc"
#undef KESTREL_SYMBOL
}
void UnbindAvdevice() {
#define KESTREL_SYMBOL(name) av::name = nullptr;
#include "medialib/symbols/avdevice.inc"
#undef KESTREL_SYMBOL
}

void BindAvfilter(void* module, const std::string& file) {
#define KESTREL_SYMBOL(name) Resolve(module, #name, file, av::name);
#include "medialib/symbols/avfilter.inc"
#undef KESTREL_SYMBOL
}
void UnbindAvfilter() {
#define KESTREL_SYMBOL(name) av::name = nullptr;
#include "medialib/symbols/avfilter.inc"
#undef KESTREL_SYMBOL
}

void BindAvformat(void* module, const std::string& file) {
#define KESTREL_SYMBOL(name) Resolve(module, #name, file, av::name);
#include "medialib/symbols/avformat.inc"
#undef KESTREL_SYMBOL
}
void UnbindAvformat() {
#define KESTREL_SYMBOL(name) av::name = nullptr;
#include "medialib/symbols/avformat.inc"
#undef KESTREL_SYMBOL
}

void BindAvutil(void* module, const std::string& file) {
#define KESTREL_SYMBOL(name) Resolve(module, #name, file, av::name);
#include "medialib/symbols/avutil.inc"
#undef KESTREL_SYMBOL
}
void UnbindAvutil() {
#define KESTREL_SYMBOL(name) av::name = nullptr;
#include "medialib/symbols/avutil.inc"
#undef KESTREL_SYMBOL
}

void BindSwscale(void* module, const std::string& file) {
#define KESTREL_SYMBOL(name) Resolve(module, #name, file, av::name);
#include "medialib/symbols/swscale.inc"
#undef KESTREL_SYMBOL
}
void UnbindSwscale() {
#define KESTREL_SYMBOL(name) av::name = nullptr;
#include "medialib/symbols/swscale.inc"
#undef KESTREL_SYMBOL
}

void BindSwresample(void* module, const std::string& file) {
#define KESTREL_SYMBOL(name) Resolve(module, #name, file, av::name);
#include "medialib/symbols/swresample.inc"
#undef KESTREL_SYMBOL
}
void UnbindSwresample() {
#define KESTREL_SYMBOL(name) av::name = nullptr;
#include "medialib/symbols/swresample.inc"
#undef KESTREL_SYMBOL
}

void BindSdl(void* module, const std::string& file) {
#define KESTREL_SYMBOL(name) Resolve(module, #name, file, sdl::name);
#include "medialib/symbols/sdl2.inc"
#undef KESTREL_SYMBOL
}
void UnbindSdl() {
#define KESTREL_SYMBOL(name) sdl::name = nullptr;
#include "medialib/symbols/sdl2.inc"
#undef KESTREL_SYMBOL
}

void RegisterDevices() {
  av::avdevice_register_all();
}
// Formats and protocols register themselves; the network layer still needs its set-up.
void RegisterNetwork() {
  av::avformat_network_init();
}
void UnregisterNetwork() {
  av::avformat_network_deinit();
}
void InstallLogCaptureWhenAsked();

struct LibraryItem {
  const char* base_name;
  int version;  // soname version, -1 for none
  void (*bind)(void* module, const std::string& file);
  void (*unbind)();
  void (*registration)();    // run after binding, may be null
  void (*unregistration)();  // undoes it before unbinding, may be null
};

// SDL2's soname is libSDL2-2.0.so.0: its base name carries the "-2.0".
const std::array<LibraryItem, kLibraryCount> kLibraries = {{
    {"avcodec", LIBAVCODEC_VERSION_MAJOR, BindAvcodec, UnbindAvcodec, nullptr, nullptr},
    {"avdevice", LIBAVDEVICE_VERSION_MAJOR, BindAvdevice, UnbindAvdevice, RegisterDevices, nullptr},
    {"avfilter", LIBAVFILTER_VERSION_MAJOR, BindAvfilter, UnbindAvfilter, nullptr, nullptr},
    {"avformat", LIBAVFORMAT_VERSION_MAJOR, BindAvformat, UnbindAvformat, RegisterNetwork,
     UnregisterNetwork},
    {"avutil", LIBAVUTIL_VERSION_MAJOR, BindAvutil, UnbindAvutil, InstallLogCaptureWhenAsked,
     nullptr},
    {"swscale", LIBSWSCALE_VERSION_MAJOR, BindSwscale, UnbindSwscale, nullptr, nullptr},
    {"swresample", LIBSWRESAMPLE_VERSION_MAJOR, BindSwresample, UnbindSwresample, nullptr, nullptr},
    {"SDL2-2.0", 0, BindSdl, UnbindSdl, nullptr, nullptr},
}};

struct LibraryStatus {
  void* module = nullptr;
  bool bound = false;
};

struct LoaderState {
  std::string library_path;
  std::string last_error;
  std::array<LibraryStatus, kLibraryCount> status;
  std::array<std::function<void()>, kLibraryCount> after_bind;
  bool install_log_hook = true;
};

LoaderState& State() {
  static LoaderState state;
  return state;
}

void InstallLogCaptureWhenAsked() {
  if (State().install_log_hook) InstallLogCapture();
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Opens a library from the folder when the folder holds it, else by soname through the
// system search. RTLD_LOCAL keeps a fake or private copy from leaking its symbols.
void* OpenLibraryFile(const std::string& folder, const std::string& file) {
  if (!folder.empty() && IsRegularFile(folder + file)) {
    return dlopen((folder + file).c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  return dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
}

[[maybe_unused]] bool ValidIndex(int i) {
  return i >= 0 && i < kLibraryCount;
}

}  // namespace

void SetLibraryPath(const std::string& folder) {
  State().library_path = folder;
}
std::string LibraryPath() {
  return State().library_path;
}
std::string LastError() {
  return State().last_error;
}

std::string LibraryFileName(int i) {
  assert(ValidIndex(i));
  const LibraryItem& item = kLibraries[i];
  std::string name = std::string("lib") + item.base_name + ".so";
  if (item.version >= 0) name += "." + std::to_string(item.version);
  return name;
}

bool LoadLib(int i) {
  assert(ValidIndex(i));
  LoaderState& state = State();
  LibraryStatus& status = state.status[i];
  const std::string file = LibraryFileName(i);
  if (!status.module) {
    std::string folder = state.library_path;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    status.module = OpenLibraryFile(folder, file);
    if (!status.module) {
      state.last_error = Format("Load library %s error: %s", folder + file, DlError());
      return false;
    }
  }
  if (status.bound) return true;  // a set overlapping an earlier one: nothing to do
  try {
    kLibraries[i].bind(status.module, file);
    if (kLibraries[i].registration) kLibraries[i].registration();
    status.bound = true;
  } catch (const std::exception& e) {
    state.last_error = e.what();
  }
  if (!status.bound) {
    UnloadLib(i);
    return false;
  }
  if (state.after_bind[i]) state.after_bind[i]();
  return true;
}

void UnloadLib(int i) {
  assert(ValidIndex(i));
  LibraryStatus& status = State().status[i];
  if (status.bound && kLibraries[i].unregistration) kLibraries[i].unregistration();
  // The unbind step runs even for a half-bound table so no stale pointer survives.
  kLibraries[i].unbind();
  status.bound = false;
  if (status.module) {
    dlclose(status.module);
    status.module = nullptr;
  }
}

bool LoadLibs(TLibrarySet set) {
  assert(set != 0);
  for (int i = 0; i < kLibraryCount; ++i) {
    if ((set & (1u << i)) && !LoadLib(i)) {
      UnloadLibs(set);
      return false;
    }
  }
  return true;
}

void UnloadLibs(TLibrarySet set) {
  assert(set != 0);
  for (int i = 0; i < kLibraryCount; ++i) {
    if (set & (1u << i)) UnloadLib(i);
  }
}

bool IsLibLoaded(int i) {
  assert(ValidIndex(i));
  const LibraryStatus& status = State().status[i];
  return status.module && status.bound;
}

bool LibsLoaded(TLibrarySet set) {
  assert(set != 0);
  for (int i = 0; i < kLibraryCount; ++i) {
    if ((set & (1u << i)) && !IsLibLoaded(i)) return false;
  }
  return true;
}

void SetInstallLogHook(bool install) {
  State().install_log_hook = install;
}
bool InstallLogHook() {
  return State().install_log_hook;
}

void SetAfterBindHook(int i, std::function<void()> hook) {
  assert(ValidIndex(i));
  State().after_bind[i] = std::move(hook);
}

std::mutex& CodecLock() {
  static std::mutex lock;
  return lock;
}

}  // namespace kestrel
