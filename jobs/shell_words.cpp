#include "jobs/shell_words.h"

namespace kestrel::jobs {

std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string ShellWord(const std::string& text) {
  bool plain = !text.empty();
  for (unsigned char c : text) {
    const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '-' || c == '_' || c == '.' || c == '/' || c == ',' || c == ':' ||
                      c == '=' || c == '+' || c == '@' || c == '%';
    plain = plain && safe;
  }
  return plain ? text : ShellQuoted(text);
}

}  // namespace kestrel::jobs
