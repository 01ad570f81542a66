// Preparing a run: for each checked row, in list order, the engine's input and output
// records of its task. The run control hands them to the task component (AddTask,
// SetOutputFile) and keeps TaskRows: task k converts row TaskRows()[k].
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/task_records.h"
#include "jobs/job_list.h"
#include "jobs/output_options.h"
#include "settings/ini_file.h"

namespace kestrel::jobs {

// What a run needs to know of a source, read when the run is prepared.
struct TSourceProbe {
  bool ok = false;
  std::string error;        // why the source cannot be read (when !ok)
  std::string file_name;    // as the probe reports it
  std::string format_name;  // the detected container, forced on the input
  TSourceVideo video;
};
using TSourceLoader = std::function<TSourceProbe(const std::string& file_name)>;

// Reads the source with the media probe (loading the probe's libraries on first use).
TSourceProbe LoadSourceWithAVProbe(const std::string& file_name);

struct TPreparedJob {
  int row = -1;
  std::string destination;
  TInputOptions input;
  TOutputOptions output;
};

struct TSkippedJob {
  int row = -1;
  std::string reason;
};

struct TRunPlan {
  std::vector<TPreparedJob> jobs;     // in task order
  std::vector<TSkippedJob> skipped;   // checked rows whose source no longer opens
  std::vector<std::string> warnings;  // output folder warnings, each once
  // Preparing stopped at a job that cannot be converted (a profile value that cannot be
  // read, no output folder at all): `jobs` is empty and nothing should start.
  std::string error;

  std::vector<int> TaskRows() const;
};

struct TRunInputs {
  settings::IniFile& settings;  // the current profile; the output folder may be written back
  const settings::IniFile& catalogue;
  TSourceLoader load_source;  // empty: LoadSourceWithAVProbe
  TFrameSizeQuestion ask_frame_size;
};

// Each checked row's record takes the current profile's zoom mode (what the crop dialog
// chose is replaced), then its options are built: the detected container and the trim
// start on the input; the profile's options, the destination, the trim length as
// recording time and the conversion hook on the output. Destinations differ from each
// other as well as from existing files.
TRunPlan PrepareRun(TJobList& list, const TRunInputs& inputs);

}  // namespace kestrel::jobs
