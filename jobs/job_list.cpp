#include "jobs/job_list.h"

#include <algorithm>
#include <filesystem>

#include "jobs/dest_name.h"
#include "settings/catalogue_keys.h"
#include "settings/profile_keys.h"
#include "settings/settings_keys.h"

namespace kestrel::jobs {
namespace {

bool IsFolder(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

void AddWarningOnce(std::vector<std::string>& warnings, const std::string& text) {
  if (text.empty() || std::find(warnings.begin(), warnings.end(), text) != warnings.end()) return;
  warnings.push_back(text);
}

}  // namespace

TAddReport TJobList::Add(const std::vector<std::string>& files, settings::IniFile& settings,
                         const settings::IniFile& catalogue, const TDurationProbe& probe) {
  TAddReport report;
  const int code = settings::ReadFormatCode(settings);
  const std::string suffix = "." + settings::ReadFileExt(catalogue, code);
  const std::string zoom = settings::ReadPara(settings, code, settings::ProfileSetting::kZoom,
                                              settings::ParaReader::kJobList);

  for (size_t i = 0; i < files.size(); ++i) {
    const std::string& name = files[i];
    if (IsFolder(name)) {
      report.skipped.push_back({name, "is a folder"});
      continue;
    }
    if (Contains(name)) {
      report.skipped.push_back({name, "is in the list already"});
      continue;
    }
    const TDestName dest = MakeDestName(settings, name, suffix);
    AddWarningOnce(report.warnings, dest.warning);
    AddWarningOnce(report.warnings, dest.error);
    const TProbeResult probed = probe ? probe(name) : ProbeDurationWithAVProbe(name);
    if (!probed.ok) {
      report.skipped.push_back({name, probed.error});
      continue;
    }

    TJobRow row;
    row.Caption = name;
    row.Record.SelectionIndex = static_cast<std::int32_t>(i);
    row.Record.SourceFile = name;
    row.Record.DestFile = dest.path;
    row.Record.LengthSec = static_cast<std::int32_t>(probed.duration_us / 1000000);
    row.Record.Zoom = zoom;
    row.LengthText = std::to_string(row.Record.LengthSec);
    row.TrimmedLengthText = row.LengthText;
    row.DestFileText = std::filesystem::path(dest.path).filename().string();
    rows_.push_back(std::move(row));
    ++report.added;
  }
  if (report.added > 0) selected_ = 0;
  return report;
}

bool TJobList::Contains(const std::string& caption) const {
  return std::any_of(rows_.begin(), rows_.end(),
                     [&](const TJobRow& row) { return row.Caption == caption; });
}

bool TJobList::Remove() {
  if (selected_ < 0 || selected_ >= Count()) return false;
  rows_.erase(rows_.begin() + selected_);
  selected_ = std::min(selected_, Count() - 1);  // -1 once the list is empty
  return true;
}

void TJobList::Clear() {
  rows_.clear();
  selected_ = -1;
}

void TJobList::ReverseCheck() {
  for (TJobRow& row : rows_) row.Checked = !row.Checked;
}

void TJobList::Select(int index) {
  selected_ = index >= 0 && index < Count() ? index : -1;
}

std::vector<int> TJobList::CheckedRows() const {
  std::vector<int> checked;
  for (int i = 0; i < Count(); ++i) {
    if (rows_[static_cast<size_t>(i)].Checked) checked.push_back(i);
  }
  return checked;
}

void TJobList::SetAllChecks(bool checked) {
  for (TJobRow& row : rows_) row.Checked = checked;
}

bool TJobList::SetSelectedCheck(bool checked) {
  if (selected_ < 0) return false;
  Row(selected_).Checked = checked;
  return true;
}

}  // namespace kestrel::jobs
