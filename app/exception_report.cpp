#include "app/exception_report.h"

namespace kestrel::app {

std::string ExceptionMessageText(std::string_view message) {
  std::string text(message);
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
  return text;
}

ExceptionReport MakeExceptionReport(ExceptionKind kind, std::string_view message,
                                    std::string_view app_title) {
  ExceptionReport report;
  if (kind == ExceptionKind::kAccessViolation) return report;
  report.show = true;
  report.icon = kind == ExceptionKind::kEngine ? MessageIcon::kWarning : MessageIcon::kError;
  report.caption = std::string(app_title);
  report.text = ExceptionMessageText(message);
  return report;
}

}  // namespace kestrel::app
