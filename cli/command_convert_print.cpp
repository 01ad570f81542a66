#include "cli/command_convert_print.h"

#include <ctime>

#include "engine/task_option_plan.h"
#include "jobs/shell_words.h"

namespace kestrel::cli {
namespace {

using jobs::ShellWord;

std::string CallArguments(const TOptionCall& call) {
  if (call.kind == TOptionCall::TKind::kTarget) {
    const std::string target = call.value == "auto" ? call.name : call.value + "-" + call.name;
    return "-target " + ShellWord(target);
  }
  return "-" + call.name + " " + ShellWord(call.value);
}

std::string Join(const TOptionCalls& calls) {
  std::string text;
  for (const TOptionCall& call : calls) text += CallArguments(call) + " ";
  return text;
}

}  // namespace

std::string InputArguments(const TInputOptions& input) {
  return Join(PlanInputOptions(input)) + "-i " + ShellWord(input.FileName);
}

std::string OutputArguments(const TOutputOptions& output) {
  const TOutputPlan plan = PlanOutputOptions(output, std::time(nullptr));
  return Join(plan.before_open) + Join(plan.after_open) + ShellWord(output.FileName);
}

}  // namespace kestrel::cli
