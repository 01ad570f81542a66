// The conversion engine's exception type: every option, setup and transcode error is
// raised as FFmpegException and caught at the task component's boundary.
#pragma once

#include <stdexcept>
#include <string>

namespace kestrel {

class FFmpegException : public std::runtime_error {
 public:
  explicit FFmpegException(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace kestrel
