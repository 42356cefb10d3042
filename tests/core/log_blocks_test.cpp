// Which appended line shares the pane's last block, and a block's text as the log file sees it.
#include <gtest/gtest.h>

#include "core/LogBlocks.h"

using namespace ostrel;

TEST(LogBlocks, ALineJoinsTheLastBlockWhileItHasRoomAndEndsInNoCr) {
  struct Case {
    LogBlockShape block;
    std::size_t lineChars;
    int lineCrs;
    bool joins;
  };
  const std::size_t full = kLogBlockMaxChars;
  const Case cases[] = {
      {{1, 0, 0}, 29, 0, true},  // the empty start line
      {{kLogLinesPerBlock - 1, 300, 0}, 29, 0, true},
      {{kLogLinesPerBlock, 300, 0}, 29, 0, false},  // as many lines as a block takes
      {{1, 12, 1}, 29, 0, false},                   // a line ending in CR ends its block
      {{3, 12, 2}, 0, 0, false},
      {{2, full - 30, 0}, 29, 0, true},  // separator and line fill it exactly
      {{2, full - 30, 0}, 30, 0, false},
      {{1, 0, 0}, full, 0, false},  // a line that alone fills a block
      {{1, 0, 0}, full - 1, 0, true},
      {{1, 12, 0}, 29, 1, false},  // so does a line ending in CR start one
      {{1, 12, 0}, 0, 2, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.block.lines << " lines, " << c.block.chars << " chars, " << c.block.trailingCrs
                                    << " CRs, line of " << c.lineChars << " and " << c.lineCrs << " CRs");
    EXPECT_EQ(LogLineJoinsBlock(c.block, c.lineChars, c.lineCrs), c.joins);
  }
}

TEST(LogBlocks, SeparatorsBecomeLineBreaksAndTheCrsFollowTheLastLine) {
  struct Case {
    std::string block;
    int crs;
    std::string text;
  };
  const Case cases[] = {
      {"", -1, ""},
      {"", 0, ""},
      {"\xE2\x80\xA8SENT: 02 ", -1, "\nSENT: 02 "},
      {"a\xE2\x80\xA8\xE2\x80\xA8"
       "b",
       2, "a\n\nb\r\r"},
      {"CRC error", 1, "CRC error\r"},
      {"\xD0\x9F\xE2\x80\xA9x", -1, "\xD0\x9F\xE2\x80\xA9x"},  // other characters stay as they are
      {"x\xE2\x80\xA8", 0, "x\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.block);
    EXPECT_EQ(LogBlockPlainText(c.block, c.crs), c.text);
  }
}
