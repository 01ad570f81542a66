#include "probe/info_text_format.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace kestrel {

std::string FormatRateValue(double value, const char* unit) {
  const auto hundredths = static_cast<std::int64_t>(std::llround(value * 100));
  char text[64];
  if (hundredths % 100 != 0)
    std::snprintf(text, sizeof text, ", %3.2f %s", value, unit);
  else if (hundredths % (100 * 1000) != 0)
    std::snprintf(text, sizeof text, ", %1.0f %s", value, unit);
  else
    std::snprintf(text, sizeof text, ", %1.0fk %s", value / 1000, unit);
  return text;
}

std::string FormatSecondsMicro(std::int64_t microseconds) {
  // The sign goes in front once; splitting a negative value would print "0.-007000".
  const char* sign = microseconds < 0 ? "-" : "";
  const std::uint64_t magnitude =
      microseconds < 0 ? 0 - static_cast<std::uint64_t>(microseconds) : microseconds;
  char text[48];
  std::snprintf(text, sizeof text, "%s%" PRIu64 ".%.6" PRIu64, sign, magnitude / 1000000,
                magnitude % 1000000);
  return text;
}

std::string FormatLocalStandardTime(std::int64_t seconds) {
  tzset();
  const std::time_t local = static_cast<std::time_t>(seconds - timezone);
  std::tm parts{};
  if (!gmtime_r(&local, &parts)) return "";
  char text[64];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
  return text;
}

}  // namespace kestrel
