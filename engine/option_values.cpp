#include "engine/option_values.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "engine/ffmpeg_exception.h"

namespace kestrel {
namespace {

bool ParseInt64(const std::string& value, int64_t* out) {
  const std::string text = TrimText(value);
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long long parsed = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0') return false;
  *out = parsed;
  return true;
}

bool ParseInt32(const std::string& value, int* out) {
  int64_t parsed = 0;
  if (!ParseInt64(value, &parsed) || parsed < INT_MIN || parsed > INT_MAX) return false;
  *out = static_cast<int>(parsed);
  return true;
}

bool ParseFloat(const std::string& value, double* out) {
  const std::string text = TrimText(value);
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const double parsed = std::strtod(text.c_str(), &end);
  if (errno == ERANGE || *end != '\0' || !std::isfinite(parsed)) return false;
  *out = parsed;
  return true;
}

}  // namespace

bool OptionBool(const std::string& value) {
  return value != "0";
}

int OptionInt(const std::string& value) {
  int parsed = 0;
  if (!ParseInt32(value, &parsed))
    throw FFmpegException(FormatText("'%s' is not a valid integer value", value.c_str()));
  return parsed;
}

int64_t OptionInt64(const std::string& value) {
  int64_t parsed = 0;
  if (!ParseInt64(value, &parsed))
    throw FFmpegException(FormatText("'%s' is not a valid integer value", value.c_str()));
  return parsed;
}

double OptionFloat(const std::string& value) {
  double parsed = 0;
  if (!ParseFloat(value, &parsed))
    throw FFmpegException(FormatText("'%s' is not a valid floating point value", value.c_str()));
  return parsed;
}

int OptionIntDef(const std::string& value, int fallback) {
  int parsed = 0;
  return ParseInt32(value, &parsed) ? parsed : fallback;
}

double OptionFloatDef(const std::string& value, double fallback) {
  double parsed = 0;
  return ParseFloat(value, &parsed) ? parsed : fallback;
}

std::string TrimText(const std::string& text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
  return text.substr(first, last - first);
}

std::string LowerText(const std::string& text) {
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
  return LowerText(a) == LowerText(b);
}

std::string FormatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int size = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(size > 0 ? static_cast<size_t>(size) : 0, '\0');
  if (size > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
  va_end(args);
  return text;
}

}  // namespace kestrel
