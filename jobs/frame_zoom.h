// The frame size, aspect ratio, crop and filter options of a video profile: the target
// size from the profile's "paraVideoSize" and the job's zoom mode.
#pragma once

#include <string>

#include "engine/task_records.h"
#include "jobs/output_options.h"

namespace kestrel::jobs {

struct TFrameSize {
  int width = 0;
  int height = 0;
};

// The target size for the profile's size text (asking when it cannot be read). The
// h263 encoder only takes its own sizes, so other widths are moved up to one of them.
TFrameSize TargetFrameSize(const std::string& video_size, const std::string& video_codec,
                           TFrameSize source, const TFrameSizeQuestion& ask);

// Sets FrameSize, FrameAspectRatio, the crop fields and VideoFilters for the zoom mode
// "full", "lbox", "pan" or "center"; any other mode (or an unknown size) sets nothing.
void ApplyZoom(const TlvFilesRecord& job, TFrameSize source, TFrameSize target,
               TOutputOptions& out);

}  // namespace kestrel::jobs
