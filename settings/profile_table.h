// The built-in table of the profile picker: 31 category rows in display order, each with
// its number, label and profile names. A profile's code is 100 x its category's code base
// + its position (from 0); the code names its "formatInfo" sections.
//
// Rows 29 to 31 repeat the Xbox, general video and general audio categories under the
// numbers 0, 1 and 2 (their icons come from the console icon list, and they share the
// "lstformat" keys of rows 1 to 3). Their profiles take the codes of the same-named
// profiles of rows 13, 27 and 28, so that a choice converts to what it names rather than
// to the Apple profile that happens to have the same number.
#pragma once

#include <string_view>
#include <vector>

namespace kestrel::settings {

enum class IconList { kGeneral, kConsole };

struct CategoryRow {
  int number;     // the category row's code, icon index and "lstformat" key
  int code_base;  // profile codes are 100 x code_base + position
  std::string_view label;
  std::vector<std::string_view> names;  // by position
  IconList icons;
};

inline constexpr int kNameTableSize = 51;  // rows and positions of the name table

const std::vector<CategoryRow>& PickerTable();

inline int ProfileCode(int code_base, int position) {
  return 100 * code_base + position;
}

struct ListedProfile {
  int table_row;  // index into PickerTable()
  int position;
  int code;
  std::string_view name;
};
// Every profile of every category row, in display order (rows 29 to 31 included).
std::vector<ListedProfile> ListedProfiles();
// The distinct codes of ListedProfiles(), ascending.
std::vector<int> ListedCodes();

}  // namespace kestrel::settings
