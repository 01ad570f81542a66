// The built-in option presets: option texts of key=value lines, applied line by line.
#pragma once

#include <vector>

namespace kestrel {

struct TOptionsPreset {
  const char* name;
  const char* text;
};

const std::vector<TOptionsPreset>& OptionsPresets();

}  // namespace kestrel
