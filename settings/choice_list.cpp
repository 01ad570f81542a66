#include "settings/choice_list.h"

namespace kestrel::settings {

std::vector<std::string> SplitChoiceList(std::string_view text) {
  std::vector<std::string> items(1);
  for (char c : text) {
    if (c == ',') {
      items.emplace_back();
    } else {
      items.back() += c;
    }
  }
  return items;
}

ChoiceList ParseChoiceList(ProfileSetting setting, std::string_view text) {
  ChoiceList list;
  if (text == "null" || (text.empty() && KeysOf(setting).empty_list_means_null)) return list;
  list.applies = true;
  list.items = SplitChoiceList(text);
  return list;
}

}  // namespace kestrel::settings
