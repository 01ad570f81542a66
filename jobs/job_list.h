// The job list as a model: one row per source file with its check box, the texts of its
// columns and its job record, plus the selected row. The windows and the command line
// show and drive this same model.
#pragma once

#include <string>
#include <vector>

#include "jobs/duration_probe.h"
#include "jobs/job_record.h"
#include "settings/ini_file.h"

namespace kestrel::jobs {

struct TJobRow {
  std::string Caption;            // the source's full path
  bool Checked = true;            // checked rows are converted
  std::string LengthText;         // whole seconds
  std::string TrimmedLengthText;  // whole seconds
  std::string DestFileText;       // file name part of the destination
  std::string ProgressText;       // "42%" during a run
  TlvFilesRecord Record;
};

struct TAddSkip {
  std::string file;
  std::string reason;
};

// What Add did. Skipped files are not an error of the list (folders, files listed
// already, files that do not open); hosts show the reasons or not, as they see fit.
struct TAddReport {
  int added = 0;
  std::vector<TAddSkip> skipped;
  std::vector<std::string> warnings;  // output folder warnings, each once
};

class TJobList {
 public:
  // Appends a checked row for each file in the given order. The profile is the current
  // one of the settings file ("FormatCode"): its "FileExt" from the catalogue names the
  // destination, its "paraZoom" becomes the record's zoom. Selects the first row when
  // anything was added. An empty probe function probes with ProbeDurationWithAVProbe.
  TAddReport Add(const std::vector<std::string>& files, settings::IniFile& settings,
                 const settings::IniFile& catalogue, const TDurationProbe& probe = {});

  // Removes the selected row; the row now at its position (or the new last row) becomes
  // selected. False without a selection.
  bool Remove();
  void Clear();

  void CheckAll() { SetAllChecks(true); }
  void UncheckAll() { SetAllChecks(false); }
  void ReverseCheck();
  // The selected row's check box; false without a selection.
  bool Check() { return SetSelectedCheck(true); }
  bool Uncheck() { return SetSelectedCheck(false); }

  int Count() const { return static_cast<int>(rows_.size()); }
  bool Empty() const { return rows_.empty(); }
  const TJobRow& Row(int index) const { return rows_.at(static_cast<size_t>(index)); }
  TJobRow& Row(int index) { return rows_.at(static_cast<size_t>(index)); }
  const TlvFilesRecord& Record(int index) const { return Row(index).Record; }
  TlvFilesRecord& Record(int index) { return Row(index).Record; }
  bool Contains(const std::string& caption) const;

  // -1 when no row is selected.
  int Selected() const { return selected_; }
  // Selects a row (an index out of range selects none).
  void Select(int index);

  // The checked rows in list order.
  std::vector<int> CheckedRows() const;

 private:
  void SetAllChecks(bool checked);
  bool SetSelectedCheck(bool checked);

  std::vector<TJobRow> rows_;
  int selected_ = -1;
};

}  // namespace kestrel::jobs
