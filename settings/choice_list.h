// Choice lists of the catalogue: one text of items separated by commas.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "settings/profile_keys.h"

namespace kestrel::settings {

// Each comma ends an item (two commas in a row give an empty item) and the end of the text
// ends the last one, so a trailing comma gives an empty last item and an empty text one
// empty item. Items are not trimmed.
std::vector<std::string> SplitChoiceList(std::string_view text);

struct ChoiceList {
  bool applies = false;  // false: the setting does not apply, its box is emptied and disabled
  std::vector<std::string> items;

  bool HasIndex(int index) const { return index >= 0 && index < static_cast<int>(items.size()); }
};

// "null" never applies; an empty text does not apply to the settings whose
// empty_list_means_null is set (encoders, audio bit rate, sample rate, channel, volume).
ChoiceList ParseChoiceList(ProfileSetting setting, std::string_view text);

}  // namespace kestrel::settings
