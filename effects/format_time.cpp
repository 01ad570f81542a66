#include "effects/format_time.h"

#include <cstdio>

namespace kestrel {

std::string FormatTime(std::int64_t microseconds) {
  const std::int64_t seconds = microseconds / 1000000;
  const long long hours = seconds / 3600;
  const long long minutes = seconds / 60 % 60;
  const long long secs = seconds % 60;
  const long long millis = microseconds % 1000000 * 1000 / 1000000;
  char text[64];
  std::snprintf(text, sizeof text, "%.2lld:%.2lld:%.2lld.%.3lld", hours, minutes, secs, millis);
  return text;
}

}  // namespace kestrel
