#include "settings/locations.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace kestrel::settings {

namespace {

std::string WithSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

}  // namespace

std::string ExecutableDir() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return WithSlash(std::filesystem::current_path(ec).string());
  return WithSlash(exe.parent_path().string());
}

std::string HomeDir() {
  std::string home = Env("HOME");
  if (!home.empty()) return home;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* result = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result &&
      result->pw_dir) {
    return result->pw_dir;
  }
  return "/";
}

std::string ConfigDir() {
  const std::string xdg = Env("XDG_CONFIG_HOME");
  if (!xdg.empty() && xdg.front() == '/') return WithSlash(xdg) + "kestrel/";
  return WithSlash(HomeDir()) + ".config/kestrel/";
}

std::string SettingsFileFor(const std::string& exe_dir) {
  const std::string beside = WithSlash(exe_dir);
  if (::access(beside.c_str(), W_OK) == 0) return beside + std::string(kSettingsFileName);
  const std::string config = ConfigDir();
  std::error_code ec;
  // When this fails, the first write reports that the file cannot be written.
  std::filesystem::create_directories(config, ec);
  return config + std::string(kSettingsFileName);
}

std::string SettingsFilePath() {
  return SettingsFileFor(ExecutableDir());
}

std::string CatalogueFileFor(const std::string& exe_dir) {
  const std::string beside = WithSlash(exe_dir) + std::string(kCatalogueFileName);
  for (const std::string& folder :
       {WithSlash(exe_dir) + "../share/kestrel/", WithSlash(KESTREL_DATA_DIR)}) {
    if (!Exists(beside) && Exists(folder + std::string(kCatalogueFileName))) {
      return std::filesystem::path(folder + std::string(kCatalogueFileName))
          .lexically_normal()
          .string();
    }
  }
  return beside;
}

std::string CatalogueFilePath() {
  return CatalogueFileFor(ExecutableDir());
}

std::string DefaultOutputFolder() {
  std::string home = HomeDir();
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  return (home == "/" ? "" : home) + "/videoconverter";
}

}  // namespace kestrel::settings
