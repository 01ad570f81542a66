#include "cli/command_convert_print.h"

#include <ctime>

#include "engine/task_option_plan.h"

namespace kestrel::cli {
namespace {

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

std::string ShellWord(const std::string& text) {
  bool plain = !text.empty();
  for (unsigned char c : text) {
    const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '-' || c == '_' || c == '.' || c == '/' || c == ',' || c == ':' ||
                      c == '=' || c == '+' || c == '@' || c == '%';
    plain = plain && safe;
  }
  if (plain) return text;
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string InputArguments(const TInputOptions& input) {
  return Join(PlanInputOptions(input)) + "-i " + ShellWord(input.FileName);
}

std::string OutputArguments(const TOutputOptions& output) {
  const TOutputPlan plan = PlanOutputOptions(output, std::time(nullptr));
  return Join(plan.before_open) + Join(plan.after_open) + ShellWord(output.FileName);
}

}  // namespace kestrel::cli
