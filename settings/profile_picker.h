// The profile picker as a model: the rows of the drop-down list of categories and
// profiles, built from the picker table and the "lstformat" states of the settings file,
// with the expand, collapse, choose and save steps. A window mirrors it through the
// events (rows inserted or removed at an index) and draws what Rows() holds.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/ini_file.h"
#include "settings/profile_table.h"

namespace kestrel::settings {

// The object behind each row of a picker.
struct TItemInfo {
  bool IsProfile = false;
  bool IsCategory = false;
  std::string CategoryName;  // category rows only; informational
  bool Collapsed = false;    // category rows: while its profile rows are hidden
  int Code = 0;              // category number, or profile code
  int NameRow = -1;          // the row of the name table (and of PickerTable()) it belongs to
};

struct PickerRow {
  std::string text;
  TItemInfo info;
  IconList icons = IconList::kGeneral;  // category rows: the list its icon (index Code) is from
};

class ProfilePicker {
 public:
  struct Events {
    std::function<void()> reset;                              // the rows were rebuilt
    std::function<void(int first, int count)> rows_inserted;  // after the insertion
    std::function<void(int first, int count)> rows_removed;   // after the removal
  };
  void SetEvents(Events events) { events_ = std::move(events); }

  // Clears the name table and the rows, then appends every category row in table order,
  // each followed by its profile rows when its "lstformat" state says expanded.
  void Build(const IniFile& settings);

  const std::vector<PickerRow>& Rows() const { return rows_; }
  int RowCount() const { return static_cast<int>(rows_.size()); }
  // The name table: one row per category row of the picker, one entry per position.
  const std::string& NameAt(int name_row, int position) const;

  // A collapsed category row gets its profile rows (non-empty names, in position order)
  // inserted right below it; an expanded one loses the profile rows that follow it. False
  // when `row` is no category row or is already in that state.
  bool Expand(int row);
  bool Collapse(int row);
  bool Toggle(int row);

  // The first row whose text equals the trimmed `name` ignoring case, or -1; it becomes
  // the selected row.
  int SelectByName(std::string_view name);
  // SelectByName of the stored FormatName (the picker's default name).
  int SelectStored(const IniFile& settings);
  int Selected() const { return selected_; }

  // Choosing a profile row stores its text as FormatName and its code as FormatCode.
  bool ChooseProfile(int row, IniFile& settings) const;

  // Writes every category row's Collapsed state under its number in "lstformat" (one
  // write; categories that share a number share a key, the later row wins).
  bool SaveCategoryState(IniFile& settings) const;

 private:
  void InsertProfileRows(int category_row);

  std::vector<PickerRow> rows_;
  std::array<std::array<std::string, kNameTableSize>, kNameTableSize> names_;
  int selected_ = -1;
  Events events_;
};

// Height of the list when it is built: (rows + 1) x row height while rows x row height is
// below 363 pixels, else 362.
int BuiltListHeight(int rows, int row_height);
// Height of the main window's drop-down when it opens: rows x 20 + 20, at most 386 once
// rows x 20 exceeds 386.
int DropDownListHeight(int rows);

}  // namespace kestrel::settings
