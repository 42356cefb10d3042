#include <gtest/gtest.h>

#include "modbus/complete.h"
#include "modbus/crc.h"
#include "modbus/frames.h"

namespace ostrel::modbus {
namespace {

std::string withCrc(std::string body) {
  const CrcBytes c = ModbusCrc(body);
  body.push_back(static_cast<char>(c.low));
  body.push_back(static_cast<char>(c.high));
  return body;
}

// A reply is whole only when every byte its own header promises has come,
// with the right CRC: each shorter prefix is not.
TEST(ReplyComplete, ReadRepliesByTheirByteCount) {
  std::string body{1, 4, 6, 1, 2, 3, 4, 5, 6};
  const std::string reply = withCrc(body);
  for (size_t n = 0; n < reply.size(); ++n) EXPECT_FALSE(ReplyComplete(4, reply.substr(0, n))) << n;
  EXPECT_TRUE(ReplyComplete(4, reply));
  EXPECT_TRUE(ReplyComplete(4, reply + '\0'));  // trailing bytes do not matter
  EXPECT_TRUE(ReplyComplete(3, reply));
  std::string damaged = reply;
  damaged[4] ^= 0x01;
  EXPECT_FALSE(ReplyComplete(4, damaged));
  // Fewer registers than asked for: the byte count decides, as for the window.
  EXPECT_TRUE(ReplyComplete(4, withCrc({1, 4, 2, 7, 8})));
  EXPECT_EQ(ReadReplyLength(125), 255u);
}

TEST(ReplyComplete, ExceptionsAndWriteEchoes) {
  const std::string exception = withCrc({1, static_cast<char>(0x84), 2});
  EXPECT_FALSE(ReplyComplete(4, exception.substr(0, 4)));
  EXPECT_TRUE(ReplyComplete(4, exception));
  EXPECT_TRUE(ReplyComplete(6, withCrc({1, static_cast<char>(0x86), 2})));

  const std::string echo = BuildWriteSingleRegister(1, 0x8011, 0, 9);
  for (size_t n = 0; n < echo.size(); ++n) EXPECT_FALSE(ReplyComplete(6, echo.substr(0, n))) << n;
  EXPECT_TRUE(ReplyComplete(6, echo));
  EXPECT_TRUE(ReplyComplete(16, withCrc({1, 0x10, 0, 2, 0, 4})));
  // A read reply's byte count is not taken for a write's reply.
  EXPECT_FALSE(ReplyComplete(6, withCrc({1, 6, 1, 2})));
}

// The prefixes are views into the whole frame: the bytes after one are there in memory but
// have not arrived as far as the reply is concerned.
TEST(ReplyComplete, APrefixIsIncompleteWhateverFollowsIt) {
  const std::pair<uint8_t, std::string> frames[] = {{4, withCrc({1, 4, 2, 7, 8})},
                                                    {6, BuildWriteSingleRegister(1, 0x8011, 0, 9)},
                                                    {4, withCrc({1, static_cast<char>(0x84), 2})}};
  for (const auto& [function, frame] : frames) {
    const std::string_view whole = frame;
    for (size_t n = 0; n < whole.size(); ++n) EXPECT_FALSE(ReplyComplete(function, whole.substr(0, n))) << n;
    EXPECT_TRUE(ReplyComplete(function, whole));
  }
}

}  // namespace
}  // namespace ostrel::modbus
