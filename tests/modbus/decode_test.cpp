#include <gtest/gtest.h>

#include "modbus/decode.h"

namespace ostrel::modbus {
namespace {

constexpr Rgb kFace{240, 240, 240};
constexpr Rgb kHighlight{0, 120, 215};

CellColours colourOf(const std::string& text) { return CellColour(1, text, kFace, kHighlight); }

TEST(ModbusDecode, WordsByRegisterRange) {
  EXPECT_EQ(DecodeStatusByte(0xC0, 5), "ON/Alarm");
  EXPECT_EQ(DecodeStatusByte(0x00, 5), "");
  EXPECT_EQ(DecodeStatusByte(0xC4, 0), "ON/Alarm/Fault");
  EXPECT_EQ(DecodeStatusByte(0x44, 1750), "/Alarm/Fault");
  EXPECT_EQ(DecodeStatusByte(0xFC, 1750), "ON/Alarm/AO/No Link/Disable/Fault");
  EXPECT_EQ(DecodeStatusByte(0x40, 1750), "/Alarm");
  EXPECT_EQ(DecodeStatusByte(0x40, 1751), "/Fire1");
  EXPECT_EQ(DecodeStatusByte(0x60, 1800), "/Fire1/Fire2");
  EXPECT_EQ(DecodeStatusByte(0xFC, 2100), "ON/Fire1/Fire2/No Link/Disable/Fault");
  EXPECT_EQ(DecodeStatusByte(0x98, 2101), "ON/No Link");  // bit 3 has no word there
  EXPECT_EQ(DecodeStatusByte(0x04, 2105), "/Fault");
  EXPECT_EQ(DecodeStatusByte(0x40, 2105), "/Loop1");
  EXPECT_EQ(DecodeStatusByte(0xFC, 2107), "ON/Loop1/Loop2/No Link/Fault");
  for (int n : {2108, 2200, 70000}) EXPECT_EQ(DecodeStatusByte(0xFF, n), "") << n;
  for (int n : {0, 1751, 2101, 2108}) EXPECT_EQ(DecodeStatusByte(0x03, n), "") << n;
  EXPECT_EQ(DecodeStatusByte(0x80, -1), "ON");  // numbers below 0 read as the first range
}

// Bits 1 and 0 carry no word in any range: a byte with them set reads as the same byte
// without them, at both ends of each range.
TEST(ModbusDecode, LowBitsAddNothing) {
  const std::string zone = "ON/Alarm/AO/No Link/Disable/Fault", fire = "ON/Fire1/Fire2/No Link/Disable/Fault",
                    loop = "ON/Loop1/Loop2/No Link/Fault";
  const struct {
    int number;
    std::string all;
  } ranges[] = {{0, zone}, {1750, zone}, {1751, fire}, {2100, fire}, {2101, loop}, {2107, loop}, {2108, ""}};
  for (const auto& r : ranges) {
    EXPECT_EQ(DecodeStatusByte(0xFF, r.number), r.all) << r.number;
    EXPECT_EQ(DecodeStatusByte(0x03, r.number), "") << r.number;
    EXPECT_EQ(DecodeStatusByte(0x02, r.number), "") << r.number;
    EXPECT_EQ(DecodeStatusByte(0x7F, r.number), r.all.substr(r.all.empty() ? 0 : 2)) << r.number;
  }
}

TEST(ModbusColours, FirstMatchingWordDecides) {
  EXPECT_EQ(colourOf("ON/Alarm"), (CellColours{kBlack, kYellow}));
  EXPECT_EQ(colourOf(""), (CellColours{kBlack, kWhite}));
  EXPECT_EQ(colourOf("/Fire1"), (CellColours{kWhite, kFuchsia}));
  EXPECT_EQ(colourOf("/Fire1/Fire2"), (CellColours{kWhite, kMaroon}));
  EXPECT_EQ(colourOf("/Fire2"), (CellColours{kWhite, kMaroon}));
  EXPECT_EQ(colourOf("ON/No Link"), (CellColours{kWhite, kBlack}));
  EXPECT_EQ(colourOf("/Fault"), (CellColours{kWhite, kHighlight}));
  EXPECT_EQ(colourOf("/Loop1"), (CellColours{kBlack, kWhite}));
  EXPECT_EQ(colourOf("/AO"), (CellColours{kBlack, kYellow}));
  EXPECT_EQ(colourOf("/Disable/Fault"), (CellColours{kBlack, kGray}));
  EXPECT_EQ(colourOf("ON/Alarm/AO/No Link/Disable/Fault"), (CellColours{kBlack, kYellow}));
  EXPECT_EQ(colourOf("fault"), (CellColours{kBlack, kWhite}));  // case-sensitive
  EXPECT_EQ(colourOf("1751"), (CellColours{kBlack, kWhite}));
  // The header row is black on the button face whatever it says.
  EXPECT_EQ(CellColour(0, "Notes/Decode ", kFace, kHighlight), (CellColours{kBlack, kFace}));
  EXPECT_EQ(CellColour(0, "Fire1", kFace, kHighlight), (CellColours{kBlack, kFace}));
}

}  // namespace
}  // namespace ostrel::modbus
