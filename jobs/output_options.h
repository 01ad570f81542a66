// Turns a profile (its catalogue section and the user's values for it in the settings
// file) and a job's zoom mode and crop margins into the engine's option records.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>

#include "engine/task_records.h"
#include "jobs/job_record.h"
#include "settings/ini_file.h"

namespace kestrel {
class TCustomAVProbe;
}

namespace kestrel::jobs {

// What the builder needs to know about the source.
struct TSourceVideo {
  int video_streams = 0;
  int width = -1;  // of the first video stream, -1 unknown
  int height = -1;
  int bit_rate = -1;  // bit/s of the first video stream, -1 unknown
};

// Reads the source's first video stream from a probe that has the file loaded.
TSourceVideo SourceVideoOf(TCustomAVProbe& probe);

// The question asked when the profile's frame size cannot be read. Yes (true) converts
// at 320x240, No at the source's size. An empty function answers No.
inline constexpr const char* kFrameSizeQuestion =
    "Error output Video Size.Use the default size 320x240?";
using TFrameSizeQuestion = std::function<bool(const std::string& question)>;

// Raised for a profile value the builder cannot convert (a volume that is not an
// integer, a bit rate beyond 32 bits); the job cannot be prepared.
class TOptionBuildError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TBuildInputs {
  const TlvFilesRecord& job;           // zoom mode and crop margins
  int code;                            // the profile
  const settings::IniFile& settings;   // the profile's "para" values
  const settings::IniFile& catalogue;  // the profile's "Format"
  TSourceVideo source;
  TFrameSizeQuestion ask_frame_size;
};

// Fills the fields of `out` (reset to its defaults, holding FileName) that the profile
// and the job decide, and for a profile without video the input's ExtOptions ("vn=1").
// Encoder names are passed as the profile stores them; the engine replaces the ones the
// loaded libraries lack when it reads the options. Throws TOptionBuildError.
void BuildOutputOptions(const TBuildInputs& inputs, TOutputOptions& out, TInputOptions& in);

}  // namespace kestrel::jobs
