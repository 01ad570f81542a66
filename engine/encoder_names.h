// Encoder names that the engine's options and profiles use but today's libraries may
// lack, each with the encoder that replaces it. A substitute is used only when the named
// encoder is missing from the loaded libraries (or present only as an experimental one
// that refuses to open at normal strictness), and the substitution is logged.
#pragma once

#include <string>
#include <vector>

namespace kestrel {

struct TEncoderSubstitute {
  const char* requested;
  const char* substitute;
};

const std::vector<TEncoderSubstitute>& EncoderSubstitutes();

// The encoder name to use for `name`: the name itself when the loaded libraries can
// encode with it or it has no substitute, else its substitute when that one exists.
// A substitution is logged at info level with `sender`.
std::string ResolveEncoderName(const std::string& name, const void* sender);

}  // namespace kestrel
