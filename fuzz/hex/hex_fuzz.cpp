// Arbitrary text through the custom command's hexadecimal parsing: the eight-digit value, and
// the edit box's text in hexadecimal mode. Refused text sends nothing, and what is sent reads
// back the same when written out as the command text again.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

#include "core/CustomCommand.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

char upper(char c) { return c >= 'a' && c <= 'f' ? static_cast<char>(c - 32) : c; }

void checkEightDigits(const std::string& text) {
  std::uint32_t value = 0;
  try {
    value = ostrel::HexTextToValue(text);
  } catch (const std::invalid_argument&) {
    // Refused: the text was not eight hexadecimal digits.
    bool digits = text.size() == 8;
    for (char c : text) digits = digits && std::isxdigit(static_cast<unsigned char>(c));
    check(!digits);
    return;
  }
  check(text.size() == 8);
  char back[9];
  std::snprintf(back, sizeof back, "%08X", static_cast<unsigned>(value));
  for (size_t i = 0; i < 8; ++i) check(back[i] == upper(text[i]));
}

void checkCommandText(std::string_view text) {
  const ostrel::CustomHexCommand cmd = ostrel::ParseCustomHex(text);
  if (!cmd.error.empty()) {
    check(cmd.error == ostrel::kHexTooShortLine || cmd.error == ostrel::kHexBadCharLine);
    check(cmd.bytes.empty());
    return;
  }
  check(cmd.bytes.size() <= text.size());
  std::string again;
  for (std::uint8_t b : cmd.bytes) {
    char two[4];
    std::snprintf(two, sizeof two, "%02X ", b);
    again += two;
  }
  if (again.empty()) return;  // an empty text, or blanks only
  const ostrel::CustomHexCommand back = ostrel::ParseCustomHex(again);
  check(back.error.empty());
  check(back.bytes == cmd.bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  checkEightDigits(text);
  if (size >= 8) checkEightDigits(text.substr(0, 8));
  checkCommandText(text);
  return 0;
}
