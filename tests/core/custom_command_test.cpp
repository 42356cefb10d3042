#include "core/CustomCommand.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "core/LogFile.h"

using namespace ostrel;
using Bytes = std::vector<std::uint8_t>;

TEST(HexTextToValue, WeighsEightDigitsOfEitherCase) {
  EXPECT_EQ(HexTextToValue("00000000"), 0u);
  EXPECT_EQ(HexTextToValue("000000FF"), 255u);
  EXPECT_EQ(HexTextToValue("000000ab"), 171u);
  EXPECT_EQ(HexTextToValue("FFFFFFFF"), 0xFFFFFFFFu);
  EXPECT_EQ(HexTextToValue("12345678"), 0x12345678u);
  EXPECT_THROW(HexTextToValue("0000FF"), std::invalid_argument);
  EXPECT_THROW(HexTextToValue("0000000G"), std::invalid_argument);
}

TEST(CustomHex, TokensBecomeBytesInOrder) {
  EXPECT_EQ(ParseCustomHex("0A 1B FF").bytes, (Bytes{10, 27, 255}));
  EXPECT_EQ(ParseCustomHex("1 2 3").bytes, (Bytes{1, 2, 3}));
  EXPECT_EQ(ParseCustomHex("ABC").bytes, (Bytes{0xAB}));
  EXPECT_EQ(ParseCustomHex("ABCDE 12").bytes, (Bytes{0xAB, 0x12}));
  EXPECT_EQ(ParseCustomHex(" A").bytes, (Bytes{10}));  // two characters pass the length test
  EXPECT_EQ(ParseCustomHex("1  2").bytes, (Bytes{1, 2}));
  EXPECT_EQ(ParseCustomHex("00").bytes, (Bytes{0}));
  for (const char* blanks : {"  ", "     "}) {
    const CustomHexCommand c = ParseCustomHex(blanks);
    EXPECT_TRUE(c.error.empty());
    EXPECT_TRUE(c.bytes.empty());
  }
  EXPECT_TRUE(ParseCustomHex("").error.empty());
}

TEST(CustomHex, RefusedTextsSendNothing) {
  for (const char* one : {"A", "0", " ", "ж"}) {
    const CustomHexCommand c = ParseCustomHex(one);
    EXPECT_EQ(c.error, kHexTooShortLine) << one;
    EXPECT_TRUE(c.bytes.empty());
  }
  for (const char* bad : {"0a", "12 G4", "12\t34", "FF ж", "0x12"}) {
    const CustomHexCommand c = ParseCustomHex(bad);
    EXPECT_EQ(c.error, kHexBadCharLine) << bad;
    EXPECT_TRUE(c.bytes.empty()) << bad;  // not even the valid 12 before the bad token
  }
}

TEST(CustomAscii, SendsWindows1251BytesWithoutLineEnd) {
  EXPECT_EQ(CustomAsciiBytes("AT"), "AT");
  EXPECT_EQ(CustomAsciiBytes("Да\r"), "\xC4\xE0\r");
}

TEST(LogFile, EveryLineEndsInCrLfAndAnEmptyPaneGivesNoBytes) {
  // Right after start: one empty line. After "Clear log": no line at all.
  EXPECT_EQ(LogFileBytes(LogPaneLines("", true)), "\r\n");
  EXPECT_EQ(LogFileBytes(LogPaneLines("", false)), "");
  EXPECT_EQ(LogFileBytes(LogPaneLines("\nSENT: 02 04 \nОтказ", false)), "\r\nSENT: 02 04 \r\n\xCE\xF2\xEA\xE0\xE7\r\n");
  EXPECT_EQ(LogFileBytes(LogPaneLines("typed\n", false)), "typed\r\n\r\n");  // every block is a line
  // A line that already ends in CR keeps it; text typed mid-line stays as typed.
  EXPECT_EQ(LogFileBytes({"CRC error\r", "typed  text "}), "CRC error\r\r\ntyped  text \r\n");
}

TEST(LogFile, APaneSavedPieceByPieceGivesTheBytesOfItsWholeText) {
  const std::vector<std::string> pieces{"", "SENT: 02 04 \nОтказ", "CRC error\r", "a\n\nb"};
  std::string whole, byPiece;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    whole += (i == 0 ? "" : "\n") + pieces[i];
    AppendLogFileLines(byPiece, pieces[i]);
  }
  EXPECT_EQ(byPiece, LogFileBytes(LogPaneLines(whole, false)));
}
