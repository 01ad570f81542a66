// An initialisation file on disk. There is no cache: every call opens the file, reads or
// changes it and closes it again, so a value written anywhere is seen by the next read
// anywhere. A missing or unreadable file reads as an empty one and every reader gets its
// own default. A change rewrites the whole file through a temporary file in the same
// folder that then replaces it, so the file is never left half-written; a change that
// cannot be stored returns false, keeps the old file as it was and leaves the reason in
// LastErrMsg().
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/ini_document.h"

namespace kestrel::settings {

class IniFile {
 public:
  explicit IniFile(std::string path) : path_(std::move(path)) {}

  const std::string& FileName() const { return path_; }
  const std::string& LastErrMsg() const { return last_error_; }

  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view default_value) const;
  // The default also when the text is not a whole decimal integer.
  int ReadInteger(std::string_view section, std::string_view key, int default_value) const;
  // True for any non-zero integer.
  bool ReadBool(std::string_view section, std::string_view key, bool default_value) const;
  bool ValueExists(std::string_view section, std::string_view key) const;
  bool SectionExists(std::string_view section) const;
  std::vector<std::string> ReadSections() const;
  std::vector<std::string> ReadSection(std::string_view section) const;  // key names

  // Each creates the file, the section and the key as needed.
  bool WriteString(std::string_view section, std::string_view key, std::string_view value);
  bool WriteInteger(std::string_view section, std::string_view key, int value);
  bool WriteBool(std::string_view section, std::string_view key, bool value);  // "1" / "0"
  bool DeleteKey(std::string_view section, std::string_view key);
  bool EraseSection(std::string_view section);

  // Several changes in one open-change-replace cycle (all stored or none).
  struct Entry {
    std::string section, key, value;
  };
  bool WriteEntries(const std::vector<Entry>& entries);

  // The whole text as it is now (empty for a missing or unreadable file).
  IniDocument Load() const;
  // The value of one key, or nullopt.
  std::optional<std::string> Find(std::string_view section, std::string_view key) const;

 private:
  std::string LoadText() const;
  bool Modify(const std::function<void(IniDocument&)>& edit);

  std::string path_;
  mutable std::string last_error_;
};

}  // namespace kestrel::settings
