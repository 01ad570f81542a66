// The destination of a conversion: the source's base name with "_(new)" (or "_(new_N)",
// the first N from 1 that is free) and the profile's extension, in the output folder.
#pragma once

#include <set>
#include <string>

#include "settings/ini_file.h"

namespace kestrel::jobs {

struct TDestName {
  std::string path;     // empty when no folder could be had (see error)
  std::string warning;  // the output folder could not be created and the default is used
  std::string error;    // not even the default folder could be created or stored
  bool ok() const { return error.empty(); }
};

// `suffix` is "." followed by the profile's extension. The output folder ("OutPutDir")
// is checked first (settings/output_folder.h): a folder that cannot be created is
// replaced by the default one, which is written back. The result never names an
// existing file or link, so no conversion overwrites anything that was there when the
// name was made. Names in `reserved` (given to other jobs of the same run, whose files do
// not exist yet) count as taken too.
TDestName MakeDestName(settings::IniFile& settings, const std::string& source,
                       const std::string& suffix, const std::set<std::string>& reserved = {});

// The candidate names, for a folder that already ends with "/": n = 0 gives
// base_(new)suffix, n >= 1 gives base_(new_n)suffix.
std::string DestCandidate(const std::string& folder, const std::string& base,
                          const std::string& suffix, long long n);

}  // namespace kestrel::jobs
