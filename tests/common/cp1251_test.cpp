#include "common/cp1251.h"

#include <gtest/gtest.h>

using ostrel::cp1251ToUtf8;
using ostrel::utf8ToCp1251;

TEST(Cp1251, CyrillicHeadersRoundTrip) {
  // "Контур " as Windows-1251 bytes.
  const std::string bytes = "\xCA\xEE\xED\xF2\xF3\xF0 ";
  EXPECT_EQ(cp1251ToUtf8(bytes), "Контур ");
  EXPECT_EQ(utf8ToCp1251("Контур "), bytes);
  EXPECT_EQ(utf8ToCp1251("Ёё№"), "\xA8\xB8\xB9");
}

TEST(Cp1251, EveryByteSurvivesTheRoundTripExceptTheUnassignedOne) {
  for (int b = 0; b < 256; ++b) {
    const std::string in(1, static_cast<char>(b));
    if (b == 0x98) {
      EXPECT_EQ(utf8ToCp1251(cp1251ToUtf8(in)), "?");
      continue;
    }
    EXPECT_EQ(utf8ToCp1251(cp1251ToUtf8(in)), in) << "byte " << b;
  }
}

TEST(Cp1251, UnencodableAndMalformedInputBecomesQuestionMarks) {
  EXPECT_EQ(utf8ToCp1251("a\xE4\xB8\xAD"
                         "b"),
            "a?b");                           // a CJK character
  EXPECT_EQ(utf8ToCp1251("\xFF\xC3"), "??");  // stray bytes, truncated sequence
  EXPECT_EQ(utf8ToCp1251(std::string("\0x", 2)), std::string("\0x", 2));
}
