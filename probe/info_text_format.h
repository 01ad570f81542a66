// Number formats of the probe's text description.
#pragma once

#include <cstdint>
#include <string>

namespace kestrel {

// ", 25 fps", ", 29.97 fps", ", 90k tbn": two decimals when the value is not whole, else
// none, and thousands with a "k" when the value is a whole multiple of 1000.
std::string FormatRateValue(double value, const char* unit);

// Microseconds as seconds with six decimals: "1.500000", "-0.007000".
std::string FormatSecondsMicro(std::int64_t microseconds);

// A time stamp (seconds since 1970 UTC) as "yyyy-mm-dd hh:nn:ss" in the machine's standard
// (not daylight-saving) local time.
std::string FormatLocalStandardTime(std::int64_t seconds);

}  // namespace kestrel
