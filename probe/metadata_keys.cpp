#include "probe/metadata_keys.h"

#include <utility>

namespace kestrel {

namespace {

constexpr std::pair<std::string_view, std::string_view> kMetadataKeyTable[] = {
    {"TALB", "album"},      {"TAL", "album"},      {"TCOM", "composer"},  {"TCON", "genre"},
    {"TCO", "genre"},       {"TCOP", "copyright"}, {"TDRL", "date"},      {"TENC", "encoder"},
    {"TEN", "encoder"},     {"TSOA", "albumsort"}, {"TSOT", "titlesort"}, {"TIT2", "title"},
    {"TT2", "title"},       {"TLAN", "language"},  {"TPE1", "artist"},    {"TP1", "artist"},
    {"TPOS", "disc"},       {"TPUB", "publisher"}, {"TRCK", "track"},     {"TRK", "track"},
    {"TSOP", "authorsort"}, {"TYER", "year"},
};

}  // namespace

std::string_view MetadataDisplayKey(std::string_view key) {
  for (const auto& [id, name] : kMetadataKeyTable) {
    if (id == key) return name;
  }
  return key;
}

}  // namespace kestrel
