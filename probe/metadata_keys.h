// Display names of ID3-style tag keys in the probe's text.
#pragma once

#include <string_view>

namespace kestrel {

// The name a tag key is shown under: ID3 frame ids ("TIT2", "TT2", ...) by their meaning,
// every other key as it is. The match is exact and case-sensitive.
std::string_view MetadataDisplayKey(std::string_view key);

}  // namespace kestrel
