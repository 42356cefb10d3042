#include "modbus/decode.h"

namespace ostrel::modbus {
namespace {

// Words of bits 6, 5, 4, 3 and 2; nullptr where the range has no word.
struct RangeWords {
  const char* bits[5];
};

constexpr RangeWords kZoneRange{{"/Alarm", "/AO", "/No Link", "/Disable", "/Fault"}};
constexpr RangeWords kFireRange{{"/Fire1", "/Fire2", "/No Link", "/Disable", "/Fault"}};
constexpr RangeWords kLoopRange{{"/Loop1", "/Loop2", "/No Link", nullptr, "/Fault"}};

bool contains(std::string_view text, std::string_view word) { return text.find(word) != std::string_view::npos; }

}  // namespace

std::string DecodeStatusByte(uint8_t b, int number) {
  if (number >= 2108) return {};
  const RangeWords& words = number <= 1750 ? kZoneRange : number <= 2100 ? kFireRange : kLoopRange;
  std::string text;
  if (b & 0x80) text = "ON";
  for (int i = 0; i < 5; ++i) {
    const int bit = 6 - i;
    if ((b >> bit) & 1 && words.bits[i]) text += words.bits[i];
  }
  return text;
}

CellColours CellColour(int row, std::string_view t, Rgb buttonFace, Rgb highlight) {
  if (row == 0) return {kBlack, buttonFace};
  if (contains(t, "Fire1")) return {kWhite, contains(t, "Fire2") ? kMaroon : kFuchsia};
  if (contains(t, "Fire2")) return {kWhite, kMaroon};
  if (contains(t, "Alarm") || contains(t, "AO")) return {kBlack, kYellow};
  if (contains(t, "No Link")) return {kWhite, kBlack};
  if (contains(t, "Disable")) return {kBlack, kGray};
  if (contains(t, "Fault")) return {kWhite, highlight};
  return {kBlack, kWhite};
}

}  // namespace ostrel::modbus
