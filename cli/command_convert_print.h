// The option arguments a job's task receives, as two command-line texts.
#pragma once

#include <string>

#include "jobs/run_plan.h"

namespace kestrel::cli {

// The input's option arguments ("-name value" in the engine's option names) followed by
// "-i" and the input file, quoted for a POSIX shell.
std::string InputArguments(const TInputOptions& input);

// The output's option arguments in the order the engine applies them, the destination
// last; the options the engine applies to streams added after the file is opened (extra
// lines that add streams) come before it too.
std::string OutputArguments(const TOutputOptions& output);

}  // namespace kestrel::cli
