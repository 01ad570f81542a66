// The seven colour skins, chosen by number (stored as "skinIndex").
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace kestrel::app {

inline constexpr std::array<std::string_view, 7> kSkinNames = {
    "Default", "Gray", "Orange", "Purple", "Red", "Green", "Light blue"};

struct SkinChoice {
  int skin = 0;                      // the skin to apply
  std::optional<int> checked_entry;  // the Skin menu entry to check, if any
};

// 0..6 apply and check that skin; any other number applies Default and checks nothing.
SkinChoice SkinForNumber(int stored_number);

}  // namespace kestrel::app
