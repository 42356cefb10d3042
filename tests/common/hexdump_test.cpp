#include "common/hexdump.h"

#include <gtest/gtest.h>

TEST(HexDump, UppercaseDigitsEachFollowedByOneBlank) {
  EXPECT_EQ(ostrel::hexDump(std::string("\x02\x03", 2)), "02 03 ");
  EXPECT_EQ(ostrel::hexDump(std::string("\x00\xAB\xff", 3)), "00 AB FF ");
  EXPECT_EQ(ostrel::hexDump(""), "");
  EXPECT_EQ(ostrel::hexLine("SENT: ", ""), "SENT: ");
  EXPECT_EQ(ostrel::hexLine("QVMD:", "\x01"), "QVMD:01 ");
}
