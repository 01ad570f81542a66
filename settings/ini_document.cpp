#include "settings/ini_document.h"

#include <algorithm>
#include <charconv>

namespace kestrel::settings {

namespace {

constexpr std::string_view kBlanks = " \t\r\f\v";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EndsWithCr(std::string_view text) {
  return !text.empty() && text.back() == '\r';
}

std::string ValueOfKeyLine(std::string_view line) {
  std::string_view value = Trim(line.substr(line.find('=') + 1));
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

// How one line reads: a section header, a key line or anything else.
struct LineView {
  enum class Kind { kOther, kSection, kKey } kind = Kind::kOther;
  std::string_view name;
};

LineView ViewLine(std::string_view text) {
  LineView line;
  const std::string_view trimmed = Trim(text);
  if (!trimmed.empty() && trimmed.front() == '[') {
    const size_t close = trimmed.rfind(']');
    if (close != std::string_view::npos) {
      line.kind = LineView::Kind::kSection;
      line.name = Trim(trimmed.substr(1, close - 1));
    }
  } else if (!trimmed.empty() && trimmed.front() != ';') {
    const size_t equals = trimmed.find('=');
    if (equals != std::string_view::npos && !Trim(trimmed.substr(0, equals)).empty()) {
      line.kind = LineView::Kind::kKey;
      line.name = Trim(trimmed.substr(0, equals));
    }
  }
  return line;
}

}  // namespace

std::optional<std::string> FindInText(std::string_view text, std::string_view section,
                                      std::string_view key) {
  if (text.starts_with(kUtf8Bom)) text.remove_prefix(kUtf8Bom.size());
  section = Trim(section);
  key = Trim(key);
  enum class State { kBefore, kInside, kAfter } state = State::kBefore;
  while (!text.empty() && state != State::kAfter) {
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    const LineView view = ViewLine(line);
    if (view.kind == LineView::Kind::kSection) {
      if (state == State::kInside) state = State::kAfter;
      if (state == State::kBefore && SameName(view.name, section)) state = State::kInside;
    } else if (state == State::kInside && view.kind == LineView::Kind::kKey &&
               SameName(view.name, key)) {
      return ValueOfKeyLine(line);
    }
  }
  return std::nullopt;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::optional<int> ParseInteger(std::string_view text) {
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') return std::nullopt;
  }
  int value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

std::string CheckEntry(std::string_view section, std::string_view key, std::string_view value) {
  for (std::string_view part : {section, key, value}) {
    if (part.find_first_of("\r\n") != std::string_view::npos) {
      return "a line break cannot be stored in a settings file";
    }
  }
  section = Trim(section);
  key = Trim(key);
  if (section.empty()) return "empty section name";
  if (section.find(']') != std::string_view::npos) return "\"]\" in section name";
  if (key.empty()) return "empty key name";
  if (key.find('=') != std::string_view::npos) return "\"=\" in key name";
  if (key.front() == '[' || key.front() == ';') return "key name starts with \"[\" or \";\"";
  return {};
}

IniDocument::Line IniDocument::ParseLine(std::string text) {
  const LineView view = ViewLine(text);
  Line line;
  line.kind = view.kind == LineView::Kind::kSection ? LineKind::kSection
              : view.kind == LineView::Kind::kKey   ? LineKind::kKey
                                                    : LineKind::kOther;
  line.name = std::string(view.name);
  line.text = std::move(text);
  return line;
}

IniDocument IniDocument::Parse(std::string_view text) {
  IniDocument doc;
  if (text.starts_with(kUtf8Bom)) {
    doc.bom_ = kUtf8Bom;
    text.remove_prefix(kUtf8Bom.size());
  }
  if (text.empty()) return doc;
  const size_t first_break = text.find('\n');
  if (first_break != std::string_view::npos && first_break > 0 && text[first_break - 1] == '\r') {
    doc.line_break_ = "\r\n";
  }
  doc.final_break_ = text.back() == '\n';
  if (doc.final_break_) text.remove_suffix(1);
  doc.lines_.reserve(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
  size_t start = 0;
  while (true) {
    const size_t end = text.find('\n', start);
    doc.lines_.push_back(ParseLine(std::string(text.substr(start, end - start))));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return doc;
}

std::string IniDocument::Serialize() const {
  std::string out = bom_;
  for (size_t i = 0; i < lines_.size(); ++i) {
    out += lines_[i].text;
    if (i + 1 < lines_.size() || final_break_) out += '\n';
  }
  return out;
}

std::optional<IniDocument::Range> IniDocument::FindSection(std::string_view section) const {
  section = Trim(section);
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].kind != LineKind::kSection || !SameName(lines_[i].name, section)) continue;
    size_t end = i + 1;
    while (end < lines_.size() && lines_[end].kind != LineKind::kSection) ++end;
    return Range{i, i + 1, end};
  }
  return std::nullopt;
}

std::optional<size_t> IniDocument::FindKey(const Range& range, std::string_view key) const {
  key = Trim(key);
  for (size_t i = range.begin; i < range.end; ++i) {
    if (lines_[i].kind == LineKind::kKey && SameName(lines_[i].name, key)) return i;
  }
  return std::nullopt;
}

std::optional<std::string> IniDocument::Find(std::string_view section, std::string_view key) const {
  const auto range = FindSection(section);
  if (!range) return std::nullopt;
  const auto index = FindKey(*range, key);
  if (!index) return std::nullopt;
  return ValueOfKeyLine(lines_[*index].text);
}

bool IniDocument::HasSection(std::string_view section) const {
  return FindSection(section).has_value();
}

std::vector<std::string> IniDocument::Sections() const {
  std::vector<std::string> names;
  for (const Line& line : lines_) {
    if (line.kind != LineKind::kSection) continue;
    bool seen = false;
    for (const std::string& name : names) seen = seen || SameName(name, line.name);
    if (!seen) names.push_back(line.name);
  }
  return names;
}

std::vector<std::string> IniDocument::Keys(std::string_view section) const {
  std::vector<std::string> names;
  const auto range = FindSection(section);
  if (!range) return names;
  for (size_t i = range->begin; i < range->end; ++i) {
    if (lines_[i].kind != LineKind::kKey) continue;
    if (FindKey({range->header, range->begin, i}, lines_[i].name)) continue;  // a repeat
    names.push_back(lines_[i].name);
  }
  return names;
}

void IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  section = Trim(section);
  key = Trim(key);
  const std::string cr = line_break_ == "\r\n" ? "\r" : "";
  const auto range = FindSection(section);
  if (!range) {
    if (!lines_.empty() && !Trim(lines_.back().text).empty()) lines_.push_back(ParseLine(cr));
    lines_.push_back(ParseLine("[" + std::string(section) + "]" + cr));
    lines_.push_back(ParseLine(std::string(key) + "=" + std::string(value) + cr));
    final_break_ = true;
    return;
  }
  if (const auto index = FindKey(*range, key)) {
    Line& line = lines_[*index];
    line = ParseLine(line.name + "=" + std::string(value) + (EndsWithCr(line.text) ? "\r" : ""));
    return;
  }
  size_t insert_at = range->begin;
  for (size_t i = range->begin; i < range->end; ++i) {
    if (!Trim(lines_[i].text).empty()) insert_at = i + 1;
  }
  if (insert_at == lines_.size()) final_break_ = true;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insert_at),
                ParseLine(std::string(key) + "=" + std::string(value) + cr));
}

bool IniDocument::Remove(std::string_view section, std::string_view key) {
  const auto range = FindSection(section);
  if (!range) return false;
  const auto index = FindKey(*range, key);
  if (!index) return false;
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*index));
  return true;
}

bool IniDocument::RemoveSection(std::string_view section) {
  bool removed = false;
  while (const auto range = FindSection(section)) {
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(range->header),
                 lines_.begin() + static_cast<std::ptrdiff_t>(range->end));
    removed = true;
  }
  return removed;
}

}  // namespace kestrel::settings
