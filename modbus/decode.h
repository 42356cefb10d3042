#pragma once
// Decode texts of the panel's status bytes and the colours of the register table's cells.
#include <cstdint>
#include <string>
#include <string_view>

namespace ostrel::modbus {

// The words of one status byte for register number `number`: "ON" for bit 7, then
// the range's words for bits 6..2 ("/Alarm", "/Fire1", "/Loop1", ...). Empty from 2108 on.
std::string DecodeStatusByte(uint8_t b, int number);

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kMaroon{128, 0, 0};
inline constexpr Rgb kFuchsia{255, 0, 255};
inline constexpr Rgb kYellow{255, 255, 0};
inline constexpr Rgb kGray{128, 128, 128};

struct CellColours {
  Rgb text;
  Rgb background;
  friend bool operator==(const CellColours&, const CellColours&) = default;
};

// Colours of one cell of the register table. The header row (row 0) is black on the
// button face; other cells are coloured by the first word found in their own text.
// The window fills the whole cell with the background and draws the text with its
// top-left corner exactly at the cell's top-left corner (no inset).
CellColours CellColour(int row, std::string_view cellText, Rgb buttonFace, Rgb highlight);

}  // namespace ostrel::modbus
