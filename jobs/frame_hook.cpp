#include "jobs/frame_hook.h"

#include <stdexcept>
#include <string>

#include "effects/item_effects.h"
#include "jobs/job_list.h"

namespace kestrel::jobs {

TJobRecordLookup TaskRowsLookup(const TJobList& list, std::vector<int> task_rows) {
  return [&list, rows = std::move(task_rows)](int task_index) -> const TlvFilesRecord* {
    if (task_index < 0 || task_index >= static_cast<int>(rows.size())) return nullptr;
    const int row = rows[static_cast<size_t>(task_index)];
    if (row < 0 || row >= list.Count()) return nullptr;
    return &list.Record(row);
  };
}

void TConversionHook::operator()(THookInfo& info) const {
  const TlvFilesRecord* record = lookup_ ? lookup_(info.TaskIndex) : nullptr;
  if (record == nullptr) {
    throw std::out_of_range("No job for task " + std::to_string(info.TaskIndex));
  }
  if (HasNoEffects(*record)) {
    info.Update = false;
    info.StopHook = true;
    return;
  }
  const TFramePicture& picture = info.Bitmap;
  const TBgrFrame frame{picture.data, picture.width, picture.height, picture.stride};
  TRenderOptions options;
  options.MarkCache = marks_.get();
  RenderItemEffects(frame, ItemEffectsOf(*record), TRenderForm::Conversion, options);
}

}  // namespace kestrel::jobs
