#pragma once
// Windows-1251 <-> UTF-8 conversion at the file and wire boundaries.
// Inside the program texts are UTF-8 (std::string) or QString; files and
// serial bytes are Windows-1251, one byte per character.
#include <string>
#include <string_view>

namespace ostrel {

// Every byte maps to one character; the one unassigned code (0x98) maps to U+FFFD.
std::string cp1251ToUtf8(std::string_view bytes);

// Characters without a Windows-1251 code become '?'. Malformed UTF-8 bytes
// become '?' as well, one per byte, so the output never grows past the input.
std::string utf8ToCp1251(std::string_view utf8);

}  // namespace ostrel
