#include "jobs/option_text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace kestrel::jobs {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Advances past digits; returns how many.
size_t SkipDigits(std::string_view text, size_t& i) {
  const size_t start = i;
  while (i < text.size() && IsDigit(text[i])) ++i;
  return i - start;
}

void SkipSign(std::string_view text, size_t& i) {
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
}

}  // namespace

std::optional<std::int32_t> ParseInteger(std::string_view text) {
  size_t i = 0;
  SkipSign(text, i);
  if (SkipDigits(text, i) == 0 || i != text.size()) return std::nullopt;
  const std::string copy(text);
  errno = 0;
  const long long value = std::strtoll(copy.c_str(), nullptr, 10);
  if (errno == ERANGE || value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(value);
}

std::optional<long double> ParseNumber(std::string_view text) {
  size_t i = 0;
  SkipSign(text, i);
  size_t digits = SkipDigits(text, i);
  if (i < text.size() && text[i] == '.') {
    ++i;
    digits += SkipDigits(text, i);
  }
  if (digits == 0) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    SkipSign(text, i);
    if (SkipDigits(text, i) == 0) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;
  const std::string copy(text);
  const long double value = std::strtold(copy.c_str(), nullptr);
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

std::string Trim(std::string_view text) {
  // Blanks and control characters, as the list boxes' texts may carry them.
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  return std::string(text.substr(begin, end - begin));
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

std::int64_t Trunc(long double value) {
  if (std::isnan(value)) return 0;
  constexpr long double kMax = 9223372036854775807.0L;
  if (value >= kMax) return std::numeric_limits<std::int64_t>::max();
  if (value <= -kMax) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(value);
}

}  // namespace kestrel::jobs
