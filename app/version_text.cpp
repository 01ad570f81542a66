#include "app/version_text.h"

#include <array>
#include <charconv>

namespace kestrel::app {

std::string FileVersionText(std::string_view version) {
  std::array<unsigned, 4> parts{};
  for (unsigned& part : parts) {
    auto [end, ec] = std::from_chars(version.data(), version.data() + version.size(), part);
    if (ec != std::errc()) part = 0;
    version.remove_prefix(static_cast<size_t>(end - version.data()));
    if (!version.empty() && version.front() == '.') version.remove_prefix(1);
  }
  return " " + std::to_string(parts[0]) + "." + std::to_string(parts[1]) +
         std::to_string(parts[2]) + std::to_string(parts[3]) + " ";
}

std::string GetFileVersionText() {
  return FileVersionText(KESTREL_VERSION);
}

std::string RightStr(std::string_view text, int n) {
  size_t start = text.size();
  for (int taken = 0; taken < n && start > 0; ++taken) {
    --start;
    while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
  }
  return std::string(text.substr(start));
}

}  // namespace kestrel::app
