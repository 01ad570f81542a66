#include "settings/profile_picker.h"

#include "settings/ini_document.h"
#include "settings/settings_keys.h"

namespace kestrel::settings {

namespace {

std::string_view TrimBlanks(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

void ProfilePicker::Build(const IniFile& settings) {
  for (auto& row : names_) row.fill(std::string());
  rows_.clear();
  selected_ = -1;
  const IniDocument stored = settings.Load();  // one read for all categories
  const auto& table = PickerTable();
  for (int t = 0; t < static_cast<int>(table.size()) && t < kNameTableSize; ++t) {
    const CategoryRow& category = table[t];
    const auto state = stored.Find(kCategoryStateSection, std::to_string(category.number));
    PickerRow row;
    row.text = std::string(category.label);
    row.icons = category.icons;
    row.info.IsCategory = true;
    row.info.Code = category.number;
    row.info.CategoryName = row.text;
    row.info.Collapsed = !state || ParseInteger(*state).value_or(1) != 0;
    row.info.NameRow = t;
    for (int p = 0; p < static_cast<int>(category.names.size()) && p < kNameTableSize; ++p) {
      names_[t][p] = std::string(category.names[p]);
    }
    rows_.push_back(std::move(row));
    if (!rows_.back().info.Collapsed) InsertProfileRows(RowCount() - 1);
  }
  if (events_.reset) events_.reset();
}

const std::string& ProfilePicker::NameAt(int name_row, int position) const {
  static const std::string empty;
  if (name_row < 0 || name_row >= kNameTableSize || position < 0 || position >= kNameTableSize) {
    return empty;
  }
  return names_[name_row][position];
}

void ProfilePicker::InsertProfileRows(int category_row) {
  const int name_row = rows_[category_row].info.NameRow;
  const int code_base = PickerTable()[name_row].code_base;
  std::vector<PickerRow> profiles;
  for (int p = 0; p < kNameTableSize; ++p) {
    if (names_[name_row][p].empty()) continue;
    PickerRow row;
    row.text = names_[name_row][p];
    row.info.IsProfile = true;
    row.info.Code = ProfileCode(code_base, p);
    row.info.NameRow = name_row;
    profiles.push_back(std::move(row));
  }
  rows_.insert(rows_.begin() + category_row + 1, profiles.begin(), profiles.end());
}

bool ProfilePicker::Expand(int row) {
  if (row < 0 || row >= RowCount()) return false;
  TItemInfo& info = rows_[row].info;
  if (!info.IsCategory || !info.Collapsed) return false;
  const int before = RowCount();
  InsertProfileRows(row);
  rows_[row].info.Collapsed = false;
  const int count = RowCount() - before;
  if (selected_ > row) selected_ += count;
  if (count > 0 && events_.rows_inserted) events_.rows_inserted(row + 1, count);
  return true;
}

bool ProfilePicker::Collapse(int row) {
  if (row < 0 || row >= RowCount()) return false;
  if (!rows_[row].info.IsCategory || rows_[row].info.Collapsed) return false;
  int end = row + 1;
  while (end < RowCount() && rows_[end].info.IsProfile) ++end;
  const int count = end - row - 1;
  rows_.erase(rows_.begin() + row + 1, rows_.begin() + end);
  rows_[row].info.Collapsed = true;
  if (selected_ > row && selected_ < end) {
    selected_ = -1;
  } else if (selected_ >= end) {
    selected_ -= count;
  }
  if (count > 0 && events_.rows_removed) events_.rows_removed(row + 1, count);
  return true;
}

bool ProfilePicker::Toggle(int row) {
  if (row < 0 || row >= RowCount() || !rows_[row].info.IsCategory) return false;
  return rows_[row].info.Collapsed ? Expand(row) : Collapse(row);
}

int ProfilePicker::SelectByName(std::string_view name) {
  name = TrimBlanks(name);
  selected_ = -1;
  for (int i = 0; i < RowCount(); ++i) {
    if (SameName(rows_[i].text, name)) {
      selected_ = i;
      break;
    }
  }
  return selected_;
}

int ProfilePicker::SelectStored(const IniFile& settings) {
  return SelectByName(ReadFormatName(settings, FormatNameReader::kPicker));
}

bool ProfilePicker::ChooseProfile(int row, IniFile& settings) const {
  if (row < 0 || row >= RowCount() || !rows_[row].info.IsProfile) return false;
  return WriteChosenProfile(settings, rows_[row].info.Code, rows_[row].text);
}

bool ProfilePicker::SaveCategoryState(IniFile& settings) const {
  std::vector<IniFile::Entry> entries;
  for (const PickerRow& row : rows_) {
    if (!row.info.IsCategory) continue;
    entries.push_back({std::string(kCategoryStateSection), std::to_string(row.info.Code),
                       row.info.Collapsed ? "1" : "0"});
  }
  return settings.WriteEntries(entries);
}

int BuiltListHeight(int rows, int row_height) {
  return rows * row_height < 363 ? (rows + 1) * row_height : 362;
}

int DropDownListHeight(int rows) {
  return rows * 20 > 386 ? 386 : rows * 20 + 20;
}

}  // namespace kestrel::settings
