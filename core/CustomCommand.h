#pragma once
// The custom command sent to the panel port: ASCII text or hexadecimal bytes.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/LogLines.h"

namespace ostrel {

inline constexpr const char* kHexTooShortLine = "Wrong custom hex command, 2 symbols at least...";
inline constexpr const char* kHexBadCharLine = "Wrong custom hex command, 0..F uppercase allowed";

// The value of exactly eight hexadecimal digits ("0".."9", "A".."F",
// "a".."f"), the first one weighing 16^7. Throws std::invalid_argument for
// any other text.
std::uint32_t HexTextToValue(const std::string& eight);

struct CustomHexCommand {
  std::string error;                // the log line to append, or empty
  std::vector<std::uint8_t> bytes;  // the bytes to write one by one, in order
};

// The hexadecimal mode of the custom command for the edit box's UTF-8 text.
// A text of exactly one character is refused; then the whole text (with one
// blank added) is checked for "0".."9", "A".."F" and blanks before anything
// is sent, so an invalid text sends nothing. Blank-separated tokens give one
// byte each: one character c is "0c", two are taken whole, longer tokens
// keep their first two; empty tokens (leading or doubled blanks) give
// nothing. An empty text gives neither error nor bytes.
CustomHexCommand ParseCustomHex(std::string_view text);

// The ASCII mode: the text's Windows-1251 bytes, unchanged, no line end.
std::string CustomAsciiBytes(std::string_view text);

}  // namespace ostrel
