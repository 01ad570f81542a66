// Texts put into command lines run by a POSIX shell.
#pragma once

#include <string>

namespace kestrel::jobs {

// The text in single quotes, each quote written as '\'' : the shell reads it back as is.
std::string ShellQuoted(const std::string& text);
// The text as it stands when the shell would read it unchanged, else ShellQuoted.
std::string ShellWord(const std::string& text);

}  // namespace kestrel::jobs
