// Time text of the editing dialogs' labels and fields.
#pragma once

#include <cstdint>
#include <string>

namespace kestrel {

// "hh:mm:ss.mmm" from microseconds; the hours are not wrapped and grow past two digits.
std::string FormatTime(std::int64_t microseconds);

}  // namespace kestrel
