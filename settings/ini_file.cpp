#include "settings/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace kestrel::settings {

namespace {

enum class ReadResult { kRead, kMissing, kFailed };

ReadResult ReadWholeFile(const std::string& path, std::string* text, std::string* error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return ReadResult::kMissing;
    *error = "Cannot read " + path + ": " + std::strerror(errno);
    return ReadResult::kFailed;
  }
  text->clear();
  struct stat st {};
  if (::fstat(fd, &st) == 0 && st.st_size > 0) text->reserve(static_cast<size_t>(st.st_size));
  char buffer[16384];
  while (true) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = "Cannot read " + path + ": " + std::strerror(errno);
      ::close(fd);
      return ReadResult::kFailed;
    }
    if (n == 0) break;
    text->append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return ReadResult::kRead;
}

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    text.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// Writes `text` to a new file beside `target` and renames it over `target`.
bool ReplaceFile(const std::string& target, std::string_view text, std::string* error) {
  static std::atomic<unsigned> counter{0};
  const std::filesystem::path path(target);
  // Built step by step: one long concatenation trips a false -Wrestrict in GCC 12 at -O3.
  std::string temp_name = ".";
  temp_name += path.filename().string();
  temp_name += ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
  const std::filesystem::path temp = path.parent_path() / temp_name;
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    *error = "Cannot write " + target + ": " + std::strerror(errno);
    return false;
  }
  // A replaced file keeps its permissions; a new one gets 0666 less the umask.
  struct stat old_stat {};
  bool ok = ::stat(target.c_str(), &old_stat) != 0 || ::fchmod(fd, old_stat.st_mode & 07777) == 0;
  ok = ok && WriteAll(fd, text) && ::fsync(fd) == 0;
  int saved_errno = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    saved_errno = errno;
  }
  if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
    ok = false;
    saved_errno = errno;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    *error = "Cannot write " + target + ": " + std::strerror(saved_errno);
  }
  return ok;
}

// A link is followed, so that the file it names is the one replaced.
std::string ResolveLink(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_symlink(path, ec)) return path;
  const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, ec);
  return ec ? path : resolved.string();
}

}  // namespace

std::string IniFile::LoadText() const {
  std::string text;
  std::string error;
  if (ReadWholeFile(path_, &text, &error) != ReadResult::kRead) return {};
  return text;
}

IniDocument IniFile::Load() const {
  return IniDocument::Parse(LoadText());
}

std::optional<std::string> IniFile::Find(std::string_view section, std::string_view key) const {
  return FindInText(LoadText(), section, key);
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view default_value) const {
  auto value = Find(section, key);
  return value ? std::move(*value) : std::string(default_value);
}

int IniFile::ReadInteger(std::string_view section, std::string_view key, int default_value) const {
  const auto value = Find(section, key);
  if (!value) return default_value;
  return ParseInteger(*value).value_or(default_value);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool default_value) const {
  return ReadInteger(section, key, default_value ? 1 : 0) != 0;
}

bool IniFile::ValueExists(std::string_view section, std::string_view key) const {
  return Find(section, key).has_value();
}

bool IniFile::SectionExists(std::string_view section) const {
  return Load().HasSection(section);
}

std::vector<std::string> IniFile::ReadSections() const {
  return Load().Sections();
}

std::vector<std::string> IniFile::ReadSection(std::string_view section) const {
  return Load().Keys(section);
}

bool IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  return WriteEntries({{std::string(section), std::string(key), std::string(value)}});
}

bool IniFile::WriteInteger(std::string_view section, std::string_view key, int value) {
  return WriteString(section, key, std::to_string(value));
}

bool IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  return WriteString(section, key, value ? "1" : "0");
}

bool IniFile::WriteEntries(const std::vector<Entry>& entries) {
  for (const Entry& entry : entries) {
    const std::string problem = CheckEntry(entry.section, entry.key, entry.value);
    if (!problem.empty()) {
      last_error_ =
          "Cannot write [" + entry.section + "] " + entry.key + " to " + path_ + ": " + problem;
      return false;
    }
  }
  return Modify([&](IniDocument& doc) {
    for (const Entry& entry : entries) doc.Set(entry.section, entry.key, entry.value);
  });
}

bool IniFile::DeleteKey(std::string_view section, std::string_view key) {
  return Modify([&](IniDocument& doc) { doc.Remove(section, key); });
}

bool IniFile::EraseSection(std::string_view section) {
  return Modify([&](IniDocument& doc) { doc.RemoveSection(section); });
}

bool IniFile::Modify(const std::function<void(IniDocument&)>& edit) {
  const std::string target = ResolveLink(path_);
  std::string old_text;
  std::string error;
  // A file that exists but cannot be read is not replaced: that would lose its contents.
  const ReadResult read = ReadWholeFile(target, &old_text, &error);
  if (read == ReadResult::kFailed) {
    last_error_ = error;
    return false;
  }
  // Replacing works in any writable folder; a file its owner made read-only stays so.
  if (read == ReadResult::kRead && ::access(target.c_str(), W_OK) != 0) {
    last_error_ = "Cannot write " + target + ": " + std::strerror(errno);
    return false;
  }
  IniDocument doc = IniDocument::Parse(old_text);
  edit(doc);
  const std::string new_text = doc.Serialize();
  if (read == ReadResult::kRead && new_text == old_text) return true;
  if (read == ReadResult::kMissing && new_text.empty()) return true;
  if (!ReplaceFile(target, new_text, &error)) {
    last_error_ = error;
    return false;
  }
  return true;
}

}  // namespace kestrel::settings
