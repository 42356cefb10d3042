#include "core/CustomCommand.h"

#include <stdexcept>

#include "common/Text.h"
#include "common/cp1251.h"

namespace ostrel {
namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool allowedInHex(char c) { return c == ' ' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

}  // namespace

std::uint32_t HexTextToValue(const std::string& eight) {
  if (eight.size() != 8) throw std::invalid_argument("HexTextToValue needs eight hex digits: \"" + eight + "\"");
  std::uint32_t value = 0;
  for (char c : eight) {
    const int d = hexDigit(c);
    if (d < 0) throw std::invalid_argument("HexTextToValue: not a hex digit in \"" + eight + "\"");
    value = value * 16 + static_cast<std::uint32_t>(d);
  }
  return value;
}

CustomHexCommand ParseCustomHex(std::string_view text) {
  CustomHexCommand result;
  if (text.empty()) return result;
  if (Utf8Length(text) == 1) {
    result.error = kHexTooShortLine;
    return result;
  }
  std::string working(text);
  working += ' ';
  for (char c : working) {
    if (!allowedInHex(c)) {
      result.error = kHexBadCharLine;
      return result;
    }
  }
  std::string token;
  for (char c : working) {
    if (c != ' ') {
      token += c;
      continue;
    }
    if (token.empty()) continue;  // leading or doubled blank: nothing to send
    const std::string byteText = token.size() == 1 ? "0" + token : token.substr(0, 2);
    result.bytes.push_back(static_cast<std::uint8_t>(HexTextToValue("000000" + byteText)));
    token.clear();
  }
  return result;
}

std::string CustomAsciiBytes(std::string_view text) { return utf8ToCp1251(text); }

}  // namespace ostrel
