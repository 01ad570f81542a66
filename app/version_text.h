// The version shown in the caption and compared by the update check.
#pragma once

#include <string>
#include <string_view>

namespace kestrel::app {

// " major.minor release build " from a version "a.b.c.d" (missing parts count as 0), each
// number in decimal without padding: "3.3.0.0" gives " 3.300 ", "1.4.12.7" " 1.4127 ".
std::string FileVersionText(std::string_view version);

// FileVersionText of the version the program was built as.
std::string GetFileVersionText();

// The last n characters of the text (whole UTF-8 characters), or the whole text when it is
// shorter; empty for n <= 0.
std::string RightStr(std::string_view text, int n);

}  // namespace kestrel::app
