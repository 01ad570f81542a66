// Small helpers for the settings tests: text files in a fresh folder, and running a step
// without the super-user's right to ignore file permissions.
#pragma once

#include <functional>
#include <string>

namespace kestrel::test {

// A new empty folder of its own for one test.
std::string FreshDir(const std::string& name);

void WriteText(const std::string& path, const std::string& text);
std::string ReadText(const std::string& path);  // "" when missing

// Runs `step` and returns its result. Under root it runs in a child process that has
// switched to the unprivileged user "nobody" (65534), so that permissions apply; the
// child's gtest expectations do not reach the parent, only the returned value does.
int RunUnprivileged(const std::function<int()>& step);

}  // namespace kestrel::test
