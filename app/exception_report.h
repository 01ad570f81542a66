// What the program-wide reporter shows for an exception that reaches the event loop: the
// message with a full stop added when its last character sorts after ".", captioned with
// the application title; a warning for the conversion engine's own errors, an error for
// anything else, and nothing for a memory access fault.
#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace kestrel::app {

enum class ExceptionKind {
  kEngine,           // the conversion engine's exception class
  kAccessViolation,  // a memory access fault the host turned into an exception
  kOther,
};

enum class MessageIcon { kNone, kWarning, kError };

struct ExceptionReport {
  bool show = false;
  MessageIcon icon = MessageIcon::kNone;
  std::string caption;
  std::string text;  // shown with one OK button
};

// The message with "." appended when it is not empty and its last character (byte) sorts
// after "." (a letter or a digit does; "." and "!" do not).
std::string ExceptionMessageText(std::string_view message);

ExceptionReport MakeExceptionReport(ExceptionKind kind, std::string_view message,
                                    std::string_view app_title);

// The kind of a caught exception, given the engine's exception class and the host's
// access-fault class (use the same type twice when the host has none).
template <class EngineException, class AccessFault>
ExceptionKind ClassifyException(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const EngineException&) {
    return ExceptionKind::kEngine;
  } catch (const AccessFault&) {
    return ExceptionKind::kAccessViolation;
  } catch (...) {
    return ExceptionKind::kOther;
  }
}

}  // namespace kestrel::app
