// Extra option lines ("name=value", one per line) as hosts pass them in the records.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace kestrel {

struct TOptionLine {
  std::string name;   // lower-cased, not trimmed
  std::string value;  // empty when the line has no "="
};

// The text is trimmed, its line breaks become LF and every literal "<CRLF>" becomes LF;
// each line is cut at its first "=". An empty text gives no lines.
std::vector<TOptionLine> SplitOptionLines(const std::string& text);

}  // namespace kestrel
