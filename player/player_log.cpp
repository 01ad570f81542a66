#include "player/player_log.h"

#include <cstdarg>
#include <cstdio>

namespace kestrel {

void PlayerLog(TLogLevel level, const std::string& text) {
  MediaLogger().Log(nullptr, level, text);
}

std::string FormatText(const char* pattern, ...) {
  va_list args;
  va_start(args, pattern);
  va_list copy;
  va_copy(copy, args);
  int length = std::vsnprintf(nullptr, 0, pattern, copy);
  va_end(copy);
  std::string out(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(out.data(), out.size() + 1, pattern, args);
  va_end(args);
  return out;
}

}  // namespace kestrel
