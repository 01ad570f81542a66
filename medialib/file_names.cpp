#include "medialib/file_names.h"

#include <algorithm>

#include "medialib/av.h"

namespace kestrel {
namespace {

constexpr char kFilePrefix[] = "file:";
constexpr size_t kFilePrefixLength = sizeof kFilePrefix - 1;

void AddProtocols(int output, std::vector<std::string>* names) {
  void* opaque = nullptr;
  while (const char* name = av::avio_enum_protocols(&opaque, output)) names->push_back(name);
}

}  // namespace

std::vector<std::string> KnownProtocols() {
  std::vector<std::string> names;
  if (!av::avio_enum_protocols) return names;
  AddProtocols(0, &names);
  AddProtocols(1, &names);
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

bool IsProtocolURL(const std::string& name) {
  const size_t colon = name.find(':');
  if (colon == std::string::npos) return false;
  const std::string scheme = name.substr(0, colon);
  // "file:" names are local names: a file may really be called "file:x.avi", and only
  // wrapping it gives that name back unchanged.
  if (scheme == "file") return false;
  const std::vector<std::string> known = KnownProtocols();
  return std::binary_search(known.begin(), known.end(), scheme);
}

std::string FileNameToURL(const std::string& name) {
  if (name.find(':') == std::string::npos || IsProtocolURL(name)) return name;
  return kFilePrefix + name;
}

std::string URLToFileName(const std::string& url) {
  if (url.compare(0, kFilePrefixLength, kFilePrefix) == 0) return url.substr(kFilePrefixLength);
  return url;
}

}  // namespace kestrel
