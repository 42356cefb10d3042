// Modbus TCP framing: serial frames in, TCP frames out, and back, with the transaction checked.
#include <gtest/gtest.h>

#include "modbus/frames.h"
#include "modbus/mbap.h"

namespace ostrel::modbus {
namespace {

std::string bytes(std::initializer_list<int> v) {
  std::string s;
  for (int b : v) s += static_cast<char>(b);
  return s;
}

TEST(Mbap, RequestsAndRepliesBothWays) {
  // Read 125 input registers from 1 of slave 1 (the read-out's request).
  const std::string rtu = bytes({0x01, 0x04, 0x00, 0x01, 0x00, 0x7D, 0x61, 0xEB});
  EXPECT_EQ(MbapFromRtu(rtu, 0x1234), bytes({0x12, 0x34, 0, 0, 0, 6, 0x01, 0x04, 0x00, 0x01, 0x00, 0x7D}));
  std::string broken = rtu;
  broken.back() ^= 1;
  EXPECT_EQ(MbapFromRtu(broken, 1), "");            // a bad CRC is no frame
  EXPECT_EQ(MbapFromRtu(rtu.substr(0, 5), 1), "");  // nor is a piece of one

  const std::string reply = bytes({0x00, 0x07, 0, 0, 0, 5, 0x01, 0x04, 0x02, 0x01, 0x04});
  EXPECT_EQ(RtuFromMbap(reply, 7), bytes({0x01, 0x04, 0x02, 0x01, 0x04, 0xB9, 0x63}));
  EXPECT_EQ(RtuFromMbap(reply, 6), "");  // the answer to another request
}

TEST(Mbap, FrameLength) {
  struct Case {
    std::string buffer;
    size_t length;
  };
  const Case cases[] = {
      {bytes({0, 1, 0, 0, 0}), 0},
      {bytes({0, 1, 0, 0, 0, 3, 1, 3}), 0},
      {bytes({0, 1, 0, 0, 0, 3, 1, 0x83, 2, 9}), 9},
      {bytes({0, 1, 0, 1}), std::string::npos},           // another protocol
      {bytes({0, 1, 0, 0, 0, 1, 1}), std::string::npos},  // shorter than a unit id and a function
      {bytes({0, 1, 0, 0, 1, 0}), std::string::npos},     // longer than any frame
  };
  for (const Case& c : cases) EXPECT_EQ(MbapFrameLength(c.buffer), c.length) << c.buffer.size();
}

}  // namespace
}  // namespace ostrel::modbus
