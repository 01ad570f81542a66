// The command line of kestrel-cli convert, read into one record.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "jobs/job_record.h"

namespace kestrel::cli {

extern const char* const kConvertHelp;

struct ConvertOptions {
  std::vector<std::string> files;
  std::string profile;     // code or name; empty: the current profile of the settings
  std::string output_dir;  // empty: the settings' output folder
  std::string zoom;        // empty: the profile's
  int jobs = 1;
  std::optional<bool> frame_size_answer;  // unset: No, with a note on standard error
  std::vector<std::string> extra_lines;   // "name=value"
  bool print_options = false;
  bool open_folder = false;
  bool no_hook = false;  // pictures bypass the per-picture hook (no edits allowed)
  bool help = false;
  // The edits every file gets, in the job record's own fields.
  jobs::TlvFilesRecord edits;
};

// Reads the arguments after "convert". Returns an empty text, or what is wrong with them.
std::string ParseConvertOptions(const std::vector<std::string>& args, ConvertOptions& options);

}  // namespace kestrel::cli
