// The conversion's per-picture hook: paints the marks and colour changes of the job the
// task converts, with the renderer's conversion form, on the task's worker thread.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "effects/image_mark.h"
#include "engine/task_records.h"
#include "jobs/job_record.h"

namespace kestrel::jobs {

// The record of the job a task converts; null when there is none. Called on the worker
// thread; the records must not change while a run lasts.
using TJobRecordLookup = std::function<const TlvFilesRecord*(int task_index)>;

class TJobList;

// Task k converts row task_rows[k] of the list. The list must outlive the lookup.
TJobRecordLookup TaskRowsLookup(const TJobList& list, std::vector<int> task_rows);

class TConversionHook {
 public:
  explicit TConversionHook(TJobRecordLookup lookup)
      : lookup_(std::move(lookup)), marks_(std::make_shared<TMarkImageCache>()) {}

  // For each decoded picture. A job that paints nothing asks not to be called again and
  // not to have the picture copied back (Update false, StopHook true), so its output is
  // that of a conversion without a hook: a round trip through 24-bit pixels would change
  // every picture. Throws (TEffectsError, std::out_of_range) when the picture cannot be
  // painted; the picture is then left as it was.
  void operator()(THookInfo& info) const;

 private:
  TJobRecordLookup lookup_;
  // The mark file is still read for every picture, but decoded only when it changed.
  std::shared_ptr<TMarkImageCache> marks_;
};

}  // namespace kestrel::jobs
