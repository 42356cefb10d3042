#include <gtest/gtest.h>

#include <algorithm>

#include "fakes.h"
#include "modbus/crc.h"
#include "modbus/frames.h"

namespace ostrel::modbus {
namespace {

using testing::FakeLink;
using testing::FakeLog;
using testing::Journal;

TEST(ModbusCrc, KnownValues) {
  const CrcBytes c = ModbusCrc("123456789");
  EXPECT_EQ(c.high, 0x4B);
  EXPECT_EQ(c.low, 0x37);
  const CrcBytes empty = ModbusCrc("");
  EXPECT_EQ(empty.high, 0xFF);
  EXPECT_EQ(empty.low, 0xFF);
}

TEST(ModbusFrames, ReadRequestBytesAndFieldCutting) {
  EXPECT_EQ(BuildReadInputRegisters(1, 1, 125), std::string("\x01\x04\x00\x01\x00\x7D\x61\xEB", 8));
  // Start register 70000 goes on the line as its low 16 bits, 0x1170.
  const std::string f = BuildReadInputRegisters(1, 70000, 1);
  EXPECT_EQ(static_cast<uint8_t>(f[2]), 0x11);
  EXPECT_EQ(static_cast<uint8_t>(f[3]), 0x70);
  const std::string w = BuildWriteSingleRegister(7, 0x8011, 0x00, 0x2A);
  ASSERT_EQ(w.size(), 8u);
  EXPECT_EQ(w.substr(0, 6), std::string("\x07\x06\x80\x11\x00\x2A", 6));
  const CrcBytes c = ModbusCrc(w.substr(0, 6));
  EXPECT_EQ(static_cast<uint8_t>(w[6]), c.low);
  EXPECT_EQ(static_cast<uint8_t>(w[7]), c.high);
}

TEST(ModbusFrames, HoldingReadAndWriteMultipleBytes) {
  const std::string r = BuildReadHoldingRegisters(1, 100, 2);
  EXPECT_EQ(r.substr(0, 6), std::string("\x01\x03\x00\x64\x00\x02", 6));
  ASSERT_EQ(r.size(), 8u);
  const std::string w = BuildWriteMultipleRegisters(2, 0x0102, {0xE979, 0x42F6, 0x0001});
  ASSERT_EQ(w.size(), 15u);
  EXPECT_EQ(w.substr(0, 13), std::string("\x02\x10\x01\x02\x00\x03\x06\xE9\x79\x42\xF6\x00\x01", 13));
  const CrcBytes c = ModbusCrc(w.substr(0, 13));
  EXPECT_EQ(static_cast<uint8_t>(w[13]), c.low);
  EXPECT_EQ(static_cast<uint8_t>(w[14]), c.high);
}

TEST(ModbusFrames, SetClockFrameCarriesFullYearAndIsoWeekday) {
  ClockTime sunday{2026, 12, 6, 23, 59, 58, 7};
  const auto f = BuildSetDateTime(1, 2, 4, sunday);
  ASSERT_TRUE(f);
  ASSERT_EQ(f->size(), 17u);
  EXPECT_EQ(f->substr(0, 15), std::string("\x01\x10\x00\x02\x00\x04\x08\x3A\x3B\x17\x07\x06\x0C\xEA\x00", 15));
  const CrcBytes c = ModbusCrc(f->substr(0, 15));
  EXPECT_EQ(static_cast<uint8_t>((*f)[15]), c.low);
  EXPECT_EQ(static_cast<uint8_t>((*f)[16]), c.high);
  EXPECT_FALSE(BuildSetDateTime(1, 2, 3, sunday));

  const ClockTime now = LocalClockNow();
  EXPECT_GE(now.weekday, 1);
  EXPECT_LE(now.weekday, 7);
  EXPECT_GE(now.year, 2000);
}

TEST(ModbusSend, ReadLogsFirstAndPausesAfterRaisingRts) {
  Journal j;
  FakeLink link(j);
  FakeLog log(j);
  SendReadInputRegisters(link, log, 1, 1, 125);
  ASSERT_EQ(j.log.size(), 1u);
  EXPECT_EQ(j.log[0], "SENT:01 04 00 01 00 7D 61 EB ");
  EXPECT_EQ(j.wire, std::string("\x01\x04\x00\x01\x00\x7D\x61\xEB", 8));
  std::vector<std::string> expected{"log", "rts+", "sleep50"};
  for (int i = 0; i < 8; ++i) {
    expected.push_back("byte");
    if (i == 7) expected.push_back("sent");  // the line has sent it all before RTS drops
    expected.push_back("sleep2");
  }
  expected.push_back("rts-");
  expected.push_back("space");
  EXPECT_EQ(j.events, expected);
}

TEST(ModbusSend, WritesLogAfterDroppingRts) {
  Journal j;
  FakeLink link(j);
  FakeLog log(j);
  SendWriteSingleRegister(link, log, 1, 1, 0x31, 0x11);
  EXPECT_EQ(j.events.front(), "rts+");
  EXPECT_EQ(j.events[1], "byte");
  EXPECT_EQ(j.events[j.events.size() - 5], "byte");
  EXPECT_EQ(j.events[j.events.size() - 4], "sent");
  EXPECT_EQ(j.events[j.events.size() - 2], "rts-");
  EXPECT_EQ(j.events.back(), "log");
  EXPECT_EQ(j.log.back().substr(0, 23), "SENT:01 06 00 01 31 11 ");
  EXPECT_EQ(j.wire.size(), 8u);

  Journal k;
  FakeLink link2(k);
  FakeLog log2(k);
  SendSetDateTime(link2, log2, 1, 2, 4, ClockTime{2026, 1, 5, 8, 0, 0, 1});
  EXPECT_EQ(k.wire.size(), 17u);
  EXPECT_EQ(k.events.front(), "rts+");
  EXPECT_EQ(k.events.back(), "log");
  EXPECT_EQ(std::count(k.events.begin(), k.events.end(), "sent"), 1);
  EXPECT_EQ(k.events[k.events.size() - 4], "sent");
  EXPECT_EQ(k.log.back().size(), 5u + 17 * 3);

  Journal n;
  FakeLink link3(n);
  FakeLog log3(n);
  SendSetDateTime(link3, log3, 1, 2, 5, ClockTime{});
  EXPECT_EQ(n.log, std::vector<std::string>{"Not allowable register count!"});
  EXPECT_TRUE(n.wire.empty());
}

// A port that refuses RTS stops the send at that step; the error reaches the caller.
TEST(ModbusSend, RtsErrorStopsTheSend) {
  struct RefusingLink : testing::FakeLink {
    using FakeLink::FakeLink;
    void SetRts(bool) override { throw std::runtime_error("RTS is under handshake control"); }
  };
  Journal j;
  RefusingLink link(j);
  FakeLog log(j);
  EXPECT_THROW(SendReadInputRegisters(link, log, 1, 1, 1), std::runtime_error);
  EXPECT_EQ(j.log.size(), 1u);  // the read's "SENT:" line comes before RTS
  EXPECT_TRUE(j.wire.empty());
}

}  // namespace
}  // namespace ostrel::modbus
