#include <gtest/gtest.h>

#include "panel/TFP.h"
#include "tests/panel/fake_panel.h"

using namespace ostrel::panel;
using namespace ostrel::panel::testing;

TEST(TFPCodec, PanelInformationRequestOnTheLine) {
  FakeView view;
  TFP(view).SendRequest(0x48, 3, bytes({0, 0, 0}));
  ASSERT_EQ(view.writes.size(), 1u);
  EXPECT_EQ(view.writes[0],
            "\x02"
            "0312345B48000300000000EF"
            "\x04");
  EXPECT_EQ(view.writes[0].size(), 26u);
  ASSERT_EQ(view.log.size(), 1u);
  EXPECT_EQ(view.log[0], "SENT: 02 03 12 34 5B 48 00 03 00 00 00 00 EF 04 ");
  const std::string frame = TFP::HexDecodeFrame(view.writes[0]);
  EXPECT_EQ(frame, bytes({2, 3, 0x12, 0x34, 0x5B, 0x48, 0, 3, 0, 0, 0, 0, 0xEF, 4}));
  EXPECT_EQ(TFP::HexEncodeFrame(frame), view.writes[0]);
}

TEST(TFPCodec, ChecksumsOfTheScanRequests) {
  FakeView view;
  TFP fp(view);
  auto sum = [&](int code, std::string payload) {
    const std::string f = fp.BuildRequest(code, 3, payload);
    return (static_cast<unsigned char>(f[f.size() - 3]) << 8) | static_cast<unsigned char>(f[f.size() - 2]);
  };
  EXPECT_EQ(sum(0x43, bytes({0, 0, 0})), 0x00EA);
  EXPECT_EQ(sum(0x43, bytes({1, 0, 0})), 0x00EB);
  EXPECT_EQ(sum(0x41, bytes({0, 1, 0})), 0x00E9);
  // The payload goes out whole even when the length byte disagrees.
  EXPECT_EQ(fp.BuildRequest(0x41, 3, "abcde").size(), 16u);
  // Sums wrap at 65536 and 0xFFFF itself becomes 0.
  std::string ff = std::string(1, '\0') + std::string(257, '\xFF');  // 257*255 = 0xFFFF
  EXPECT_EQ(TFP::Checksum(ff, 1, ff.size()), 0);
  std::string over = std::string(1, '\0') + std::string(258, '\xFF');
  EXPECT_EQ(TFP::Checksum(over, 1, over.size()), (258 * 255) % 65536);
}

TEST(TFPCodec, SendFailuresAreLoggedOnce) {
  FakeView closed;
  closed.portOpen = false;
  TFP(closed).SendRequest(0x48, 3, bytes({0, 0, 0}));
  EXPECT_TRUE(closed.writes.empty());
  EXPECT_EQ(closed.log, std::vector<std::string>{"Serial port is not opened"});

  FakeView failing;
  failing.throwOnWrite = true;
  TFP(failing).SendRequest(0x48, 3, bytes({0, 0, 0}));
  ASSERT_EQ(failing.log.size(), 2u);
  EXPECT_EQ(failing.log[1], "Exception on serial port sending...");
}

TEST(TFPCodec, CheckReplyComparesOnlyTheHighChecksumByte) {
  FakeView view;
  TFP fp(view);
  std::string good = replyFrame(panelData(2));
  EXPECT_TRUE(fp.CheckReply(good, good.size()));
  std::string lowWrong = good;
  lowWrong[lowWrong.size() - 2] ^= 0x5A;
  EXPECT_TRUE(fp.CheckReply(lowWrong, lowWrong.size()));
  EXPECT_TRUE(view.log.empty());

  std::string highWrong = good;
  highWrong[highWrong.size() - 3] ^= 0x01;
  EXPECT_FALSE(fp.CheckReply(highWrong, highWrong.size()));
  EXPECT_EQ(view.log.back(), "Error in CRC of the packet!");

  // A reply whose bytes sum to 0xFFFF carries the checksum 0x0000.
  std::string ffff = bytes({2, 3, 0x12, 0x34});
  const int rest = 0xFFFF - (3 + 0x12 + 0x34);
  ffff += std::string(rest / 255, '\xFF');
  ffff += static_cast<char>(rest % 255);
  ffff += bytes({0, 0, 4});
  EXPECT_TRUE(fp.CheckReply(ffff, ffff.size()));
}

TEST(TFPCodec, CheckReplyRejectsBadBytesAndShortReplies) {
  FakeView view;
  TFP fp(view);
  const std::string good = replyFrame(panelData(2));
  for (int pos : {0, 1, 2, 3}) {
    std::string bad = good;
    bad[pos] ^= 0x40;
    EXPECT_FALSE(fp.CheckReply(bad, bad.size())) << pos;
  }
  std::string noEnd = good;
  noEnd.back() = 0x05;
  EXPECT_FALSE(fp.CheckReply(noEnd, noEnd.size()));
  // Every prefix is shorter than its tests or fails them, without reading
  // past its end; a length beyond the string is cut to the string.
  for (size_t n = 0; n <= 5; ++n) EXPECT_FALSE(fp.CheckReply(good.substr(0, n), n)) << n;
  EXPECT_FALSE(fp.CheckReply(good.substr(0, 3), 500));
  for (const auto& line : view.log) EXPECT_EQ(line, "Error in some of the Start/Stop/ID/CMD bytes");
  // Five bytes pass the byte check and then fail the checksum.
  EXPECT_FALSE(fp.CheckReply(bytes({2, 3, 0x12, 0x34, 4}), 5));
  EXPECT_EQ(view.log.back(), "Error in CRC of the packet!");
}

TEST(TFPCodec, HexDecodeOddShortAndLowercaseTexts) {
  EXPECT_EQ(TFP::HexDecodeFrame(""), "");
  EXPECT_EQ(TFP::HexDecodeFrame("\x02"), "\x02");
  EXPECT_EQ(TFP::HexDecodeFrame("\x02\x04"), "\x02\x04");
  EXPECT_EQ(TFP::HexEncodeFrame(""), "");
  EXPECT_EQ(TFP::HexEncodeFrame("\x02\x04"), "\x02\x04");
  // An odd count pairs the last digit with the end byte, then appends it.
  EXPECT_EQ(TFP::HexDecodeFrame("\x02"
                                "ABC"
                                "\x04"),
            bytes({2, 0xAB, 0xD4, 4}));
  // Lowercase letters are not hexadecimal digits here.
  EXPECT_EQ(TFP::HexDecodeFrame("\x02"
                                "0a"
                                "ef"
                                "\x04"),
            bytes({2, 0x2A, 0xEF, 4}));
}

TEST(TFPCodec, FullChecksumSeesWhatTheScansCheckLetsThrough) {
  const std::string good = replyFrame(panelData(2));
  // Last data byte 0x00 -> 0x01: the sum grows by one, so only its low byte moves.
  std::string flipped = good;
  flipped[flipped.size() - 4] ^= 0x01;
  std::string lowWrong = good;
  lowWrong[lowWrong.size() - 2] ^= 0x5A;
  std::string highWrong = good;
  highWrong[highWrong.size() - 3] ^= 0x01;
  std::string noEnd = good;
  noEnd.back() = 0x05;
  struct Case {
    const char* name;
    std::string reply;
    TFP::FrameFault fault;
    bool full;
  };
  const Case cases[] = {
      {"good", good, TFP::FrameFault::None, true},
      {"data bit flipped", flipped, TFP::FrameFault::None, false},
      {"low byte wrong", lowWrong, TFP::FrameFault::None, false},
      {"high byte wrong", highWrong, TFP::FrameFault::Checksum, false},
      {"no end byte", noEnd, TFP::FrameFault::Bytes, false},
      {"too short for a checksum", bytes({2, 3, 0x12, 0x34, 0, 0}), TFP::FrameFault::Bytes, false},
      {"empty", "", TFP::FrameFault::Bytes, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TFP::ReplyFrameFault(c.reply), c.fault) << c.name;
    EXPECT_EQ(TFP::FullChecksumOk(c.reply), c.full) << c.name;
  }
}
