// The text of an initialisation file held as lines, with lookups and edits that follow the
// Windows rules: section and key names match without regard to (ASCII) case, the first
// matching section and key win, blanks around names and values are ignored, a value in
// matching single or double quotes reads without them, and every line the rules do not
// understand (comments, text before the first section, stray text) is kept as it was.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::settings {

class IniDocument {
 public:
  // Any text parses; Serialize() of an unedited document gives the text back byte for byte.
  static IniDocument Parse(std::string_view text);
  std::string Serialize() const;

  std::optional<std::string> Find(std::string_view section, std::string_view key) const;
  bool HasSection(std::string_view section) const;
  // Section names, each spelled as its first occurrence, in file order.
  std::vector<std::string> Sections() const;
  // Key names of the first matching section, in file order.
  std::vector<std::string> Keys(std::string_view section) const;

  // Replaces the value of an existing key (keeping its spelling) or adds the key at the end
  // of the section, adding the section at the end of the text when missing. The names and
  // the value must pass CheckEntry.
  void Set(std::string_view section, std::string_view key, std::string_view value);
  // Both return whether something was removed.
  bool Remove(std::string_view section, std::string_view key);
  bool RemoveSection(std::string_view section);

 private:
  enum class LineKind { kOther, kSection, kKey };
  struct Line {
    std::string text;  // without its line break
    LineKind kind = LineKind::kOther;
    std::string name;  // section or key name, blanks trimmed
  };
  // Index range [begin, end) of the lines that follow the header of the first matching
  // section, or nullopt.
  struct Range {
    size_t header;
    size_t begin;
    size_t end;
  };
  std::optional<Range> FindSection(std::string_view section) const;
  std::optional<size_t> FindKey(const Range& range, std::string_view key) const;
  static Line ParseLine(std::string text);

  std::vector<Line> lines_;
  std::string bom_;
  std::string line_break_ = "\n";
  bool final_break_ = true;
};

// The same lookup as IniDocument::Find, straight on the text without building lines (a
// read is one pass over the file and allocates nothing but the result).
std::optional<std::string> FindInText(std::string_view text, std::string_view section,
                                      std::string_view key);

// Empty when the entry can be written so that it reads back as the same entry; otherwise
// the reason it cannot (a line break anywhere, an empty name, "]" in a section name, "=" in
// a key name, or a key that would read as a section or a comment).
std::string CheckEntry(std::string_view section, std::string_view key, std::string_view value);

// Whole text as a decimal integer with an optional sign, inside the int range.
std::optional<int> ParseInteger(std::string_view text);

// ASCII case-insensitive equality, as names are compared.
bool SameName(std::string_view a, std::string_view b);

}  // namespace kestrel::settings
