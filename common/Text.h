#pragma once
// Small text helpers shared by the libraries and programs: ASCII case (names typed on a command
// line, hex digits) and UTF-8 lengths counted in characters, not bytes.
#include <cstddef>
#include <string>
#include <string_view>

namespace ostrel {

inline std::string AsciiLower(std::string s) {
  for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
  return s;
}

inline std::string AsciiUpper(std::string s) {
  for (char& c : s) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c);
  return s;
}

// Characters of UTF-8 text: a Cyrillic letter is one.
inline std::size_t Utf8Length(std::string_view text) {
  std::size_t n = 0;
  for (unsigned char c : text) n += (c & 0xC0) != 0x80;
  return n;
}

// The first `characters` characters of UTF-8 text.
inline std::string Utf8Prefix(std::string_view text, std::size_t characters) {
  std::size_t seen = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && seen++ == characters)
      return std::string(text.substr(0, i));
  }
  return std::string(text);
}

}  // namespace ostrel
