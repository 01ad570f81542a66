// The subcommands of kestrel-cli. Each lives in a file of its own and registers itself
// with a static KESTREL_CLI_COMMAND object, so adding a command touches no other file.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace kestrel::cli {

// Runs one command with the arguments after its name; returns the exit status.
using CommandFn = std::function<int(const std::vector<std::string>& args)>;

struct Command {
  std::string name;
  std::string summary;  // one line for the overall --help
  CommandFn run;
};

std::vector<Command>& Commands();

struct CommandRegistrar {
  CommandRegistrar(std::string name, std::string summary, CommandFn run);
};

}  // namespace kestrel::cli
