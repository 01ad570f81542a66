// Reading the profile's texts the way the option builder does, and its arithmetic.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrel::jobs {

// The whole text is a decimal integer of 32 bits, with an optional sign.
std::optional<std::int32_t> ParseInteger(std::string_view text);
// The whole text is a decimal number ("29.97", "-1e3"), with '.' as separator.
std::optional<long double> ParseNumber(std::string_view text);

std::string Trim(std::string_view text);
std::string Lower(std::string_view text);

// Truncation toward zero; values beyond 64 bits clamp and NaN gives 0.
std::int64_t Trunc(long double value);

// 4/3 in extended precision, rounded to the nearest: a hair above 4/3.
inline constexpr long double kFourThirds = 4.0L / 3.0L;

}  // namespace kestrel::jobs
