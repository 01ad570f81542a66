#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/command_registry.h"

namespace kestrel::cli {

std::vector<Command>& Commands() {
  static std::vector<Command> commands;
  return commands;
}

CommandRegistrar::CommandRegistrar(std::string name, std::string summary, CommandFn run) {
  Commands().push_back({std::move(name), std::move(summary), std::move(run)});
}

namespace {
void PrintUsage(FILE* out) {
  std::fprintf(out, "Usage: kestrel-cli COMMAND [ARGS...]\n\nCommands:\n");
  auto commands = Commands();
  std::sort(commands.begin(), commands.end(),
            [](const Command& a, const Command& b) { return a.name < b.name; });
  for (const Command& c : commands)
    std::fprintf(out, "  %-10s %s\n", c.name.c_str(), c.summary.c_str());
  std::fprintf(out, "\nRun 'kestrel-cli COMMAND --help' for the options of a command.\n");
}
}  // namespace

}  // namespace kestrel::cli

int main(int argc, char** argv) {
  using namespace kestrel::cli;
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    PrintUsage(args.empty() ? stderr : stdout);
    return args.empty() ? 2 : 0;
  }
  for (const Command& c : Commands()) {
    if (c.name == args[0]) return c.run({args.begin() + 1, args.end()});
  }
  std::fprintf(stderr, "kestrel-cli: unknown command '%s'\n", args[0].c_str());
  PrintUsage(stderr);
  return 2;
}
