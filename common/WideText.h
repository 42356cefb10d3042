#pragma once
// Windows' file and registry calls take UTF-16 names; inside, text is UTF-8. Built for Windows
// only (common/platform/Win32WideText.cpp).
#include <string>
#include <string_view>

namespace ostrel {

std::wstring WideFromUtf8(std::string_view utf8);
std::string Utf8FromWide(std::wstring_view wide);
// The system's own text for a Win32 error code (FormatMessageW), in UTF-8, without the
// trailing full stop and line break; "error N" when the system has none.
std::string Win32ErrorText(unsigned long code);

}  // namespace ostrel
