#include "engine/ext_options.h"

#include <cctype>

namespace kestrel {
namespace {

std::string Trim(const std::string& text) {
  // Trims control characters and blanks at both ends, as a host's text trim does.
  size_t begin = 0, end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  return text.substr(begin, end - begin);
}

std::string NormaliseBreaks(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 6, "<CRLF>") == 0) {
      out += '\n';
      i += 5;
    } else if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

std::vector<TOptionLine> SplitOptionLines(const std::string& text) {
  std::vector<TOptionLine> lines;
  const std::string body = NormaliseBreaks(Trim(text));
  if (body.empty()) return lines;
  size_t start = 0;
  while (start <= body.size()) {
    size_t end = body.find('\n', start);
    if (end == std::string::npos) end = body.size();
    const std::string line = body.substr(start, end - start);
    const size_t eq = line.find('=');
    TOptionLine option;
    option.name = line.substr(0, eq);
    for (char& c : option.name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (eq != std::string::npos) option.value = line.substr(eq + 1);
    lines.push_back(std::move(option));
    start = end + 1;
  }
  return lines;
}

}  // namespace kestrel
