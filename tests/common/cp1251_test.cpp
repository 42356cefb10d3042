#include "common/cp1251.h"

#include <gtest/gtest.h>

#include <vector>

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

// Bytes 0x80..0xFF as Python's codecs module decodes 'cp1251', one character each. Python
// leaves 0x98 undefined; this decoder gives it U+FFFD, which encodes back as '?'.
constexpr const char* kHighReference =
    "\u0402\u0403\u201A\u0453\u201E\u2026\u2020\u2021\u20AC\u2030\u0409\u2039\u040A\u040C\u040B\u040F"
    "\u0452\u2018\u2019\u201C\u201D\u2022\u2013\u2014\uFFFD\u2122\u0459\u203A\u045A\u045C\u045B\u045F"
    "\u00A0\u040E\u045E\u0408\u00A4\u0490\u00A6\u00A7\u0401\u00A9\u0404\u00AB\u00AC\u00AD\u00AE\u0407"
    "\u00B0\u00B1\u0406\u0456\u0491\u00B5\u00B6\u00B7\u0451\u2116\u0454\u00BB\u0458\u0405\u0455\u0457"
    "\u0410\u0411\u0412\u0413\u0414\u0415\u0416\u0417\u0418\u0419\u041A\u041B\u041C\u041D\u041E\u041F"
    "\u0420\u0421\u0422\u0423\u0424\u0425\u0426\u0427\u0428\u0429\u042A\u042B\u042C\u042D\u042E\u042F"
    "\u0430\u0431\u0432\u0433\u0434\u0435\u0436\u0437\u0438\u0439\u043A\u043B\u043C\u043D\u043E\u043F"
    "\u0440\u0441\u0442\u0443\u0444\u0445\u0446\u0447\u0448\u0449\u044A\u044B\u044C\u044D\u044E\u044F";

TEST(Cp1251, EveryByteDecodesToTheReferenceCharacterAndBack) {
  std::vector<std::string> high;  // the reference, one UTF-8 character per entry
  for (const char* p = kHighReference; *p; ++p) {
    if ((static_cast<unsigned char>(*p) & 0xC0) != 0x80) high.emplace_back();
    high.back() += *p;
  }
  ASSERT_EQ(high.size(), 128u);
  for (int b = 0; b < 256; ++b) {
    const std::string byte(1, static_cast<char>(b));
    const std::string expected = b < 0x80 ? byte : high[b - 0x80];
    EXPECT_EQ(cp1251ToUtf8(byte), expected) << "byte " << b;
    EXPECT_EQ(utf8ToCp1251(expected), b == 0x98 ? "?" : byte) << "byte " << b;
  }
}
