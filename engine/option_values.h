// Conversions of option value texts, shared by the option dispatcher, presets and
// targets. Conversion failures raise FFmpegException with the text that names the value.
#pragma once

#include <cstdint>
#include <string>

namespace kestrel {

// True unless the text is exactly "0" (an empty value means True).
bool OptionBool(const std::string& value);
// Decimal integer (surrounding blanks allowed); else "'%s' is not a valid integer value".
int OptionInt(const std::string& value);
int64_t OptionInt64(const std::string& value);
// Finite decimal number; else "'%s' is not a valid floating point value".
double OptionFloat(const std::string& value);
// The same conversions returning `fallback` instead of raising.
int OptionIntDef(const std::string& value, int fallback);
double OptionFloatDef(const std::string& value, double fallback);

std::string TrimText(const std::string& text);
std::string LowerText(const std::string& text);
bool SameTextIgnoringCase(const std::string& a, const std::string& b);

// printf-style formatting into a std::string.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace kestrel
