// The probe's failure texts.
#pragma once

#include <string>

namespace kestrel {

inline constexpr const char* kMsgFileNotLoaded = "file not loaded.";
inline constexpr const char* kMsgNoVideoStream = "no video stream.";
inline constexpr const char* kMsgNoAudioStream = "no audio stream.";

inline std::string StreamIndexInvalidText(int index) {
  return "stream index #" + std::to_string(index) + " is invalid.";
}

inline std::string StreamNotOfKindText(int index, const char* kind) {
  return "stream #" + std::to_string(index) + " is not " + kind + " stream.";
}

}  // namespace kestrel
