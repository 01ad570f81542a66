#include "jobs/run_plan.h"

#include <algorithm>
#include <set>

#include "jobs/dest_name.h"
#include "medialib/library_loader.h"
#include "probe/av_probe.h"
#include "settings/catalogue_keys.h"
#include "settings/profile_keys.h"
#include "settings/settings_keys.h"

namespace kestrel::jobs {
namespace {

void AddWarningOnce(std::vector<std::string>& warnings, const std::string& text) {
  if (text.empty() || std::find(warnings.begin(), warnings.end(), text) != warnings.end()) return;
  warnings.push_back(text);
}

TInputOptions InputOptionsFor(const std::string& file_name, const TSourceProbe& source,
                              const TlvFilesRecord& record) {
  TInputOptions input;
  input.FileName = file_name;
  input.FileFormat = source.format_name;
  if (record.TrimStart >= 0) input.StartTime = record.TrimStart;
  return input;
}

}  // namespace

TSourceProbe LoadSourceWithAVProbe(const std::string& file_name) {
  TSourceProbe source;
  if (!LibsLoaded(kProbeLibs) && !LoadLibs(kProbeLibs)) {
    source.error = LastError();
    return source;
  }
  TAVProbe probe;
  if (!probe.LoadFile(file_name)) {
    source.error = probe.LastErrMsg();
    return source;
  }
  source.ok = true;
  source.file_name = probe.FileName();
  source.format_name = probe.FormatName();
  source.video = SourceVideoOf(probe);
  probe.CloseFile();
  return source;
}

std::vector<int> TRunPlan::TaskRows() const {
  std::vector<int> rows;
  for (const TPreparedJob& job : jobs) rows.push_back(job.row);
  return rows;
}

TRunPlan PrepareRun(TJobList& list, const TRunInputs& inputs) {
  TRunPlan plan;
  const int code = settings::ReadFormatCode(inputs.settings);
  const std::string suffix = "." + settings::ReadFileExt(inputs.catalogue, code);
  const std::string zoom = settings::ReadPara(
      inputs.settings, code, settings::ProfileSetting::kZoom, settings::ParaReader::kJobList);
  std::set<std::string> reserved;
  for (int row : list.CheckedRows()) {
    const std::string& file_name = list.Row(row).Caption;
    const TSourceProbe source =
        inputs.load_source ? inputs.load_source(file_name) : LoadSourceWithAVProbe(file_name);
    if (!source.ok) {
      plan.skipped.push_back({row, source.error});
      continue;
    }
    TlvFilesRecord& record = list.Record(row);
    TPreparedJob job;
    job.row = row;
    job.input = InputOptionsFor(file_name, source, record);

    const TDestName dest = MakeDestName(inputs.settings, source.file_name, suffix, reserved);
    AddWarningOnce(plan.warnings, dest.warning);
    if (!dest.ok()) {
      plan.error = dest.error;
      plan.jobs.clear();
      return plan;
    }
    job.destination = dest.path;
    reserved.insert(dest.path);

    record.Zoom = zoom;
    job.output.FileName = dest.path;
    try {
      BuildOutputOptions(
          {record, code, inputs.settings, inputs.catalogue, source.video, inputs.ask_frame_size},
          job.output, job.input);
    } catch (const TOptionBuildError& e) {
      plan.error = e.what();
      plan.jobs.clear();
      return plan;
    }
    if (record.TrimLength > 0) job.output.RecordingTime = record.TrimLength;
    job.output.CustomHook = true;
    plan.jobs.push_back(std::move(job));
  }
  return plan;
}

}  // namespace kestrel::jobs
