#include <gtest/gtest.h>

#include "modbus/crc.h"
#include "modbus/frames.h"
#include "modbus/reply.h"

namespace ostrel::modbus {
namespace {

std::string withCrc(std::string body) {
  const CrcBytes c = ModbusCrc(body);
  body.push_back(static_cast<char>(c.low));
  body.push_back(static_cast<char>(c.high));
  return body;
}

// A read reply of `count` registers whose values are 0x0100 * k + k.
std::string readReply(uint8_t slave, uint8_t function, int count) {
  std::string b{static_cast<char>(slave), static_cast<char>(function), static_cast<char>(2 * count)};
  for (int k = 0; k < count; ++k) {
    b.push_back(static_cast<char>(k));
    b.push_back(static_cast<char>(k + 1));
  }
  return withCrc(b);
}

struct Recorder : ReplySink {
  void AddLogLine(const std::string& l) override { log.push_back(l); }
  void SetCrcStatusText(const std::string& t) override { status = t; }
  void DecodeRegister(uint8_t h, uint8_t l, int row, int number) override { regs.push_back({h, l, row, number}); }
  struct Reg {
    uint8_t high, low;
    int row, number;
  };
  std::vector<std::string> log;
  std::string status;
  std::vector<Reg> regs;
};

TEST(ModbusReply, RegistersAreNumberedFromFirstNumberByByteCount) {
  for (uint8_t function : {uint8_t{0x04}, uint8_t{0x03}}) {
    Recorder r;
    DecodeReadReply(100, 7, readReply(1, function, 125), r);
    ASSERT_EQ(r.regs.size(), 125u) << int(function);
    EXPECT_EQ(r.regs.front().number, 100);
    EXPECT_EQ(r.regs.front().row, 7);
    EXPECT_EQ(r.regs.back().number, 224);
    EXPECT_EQ(r.regs.back().row, 131);
    EXPECT_EQ(r.regs.back().high, 124);
    EXPECT_EQ(r.regs.back().low, 125);
    EXPECT_TRUE(r.log.empty());
    EXPECT_TRUE(r.status.empty());
  }
}

TEST(ModbusReply, TrailingZeroAfterCrcIsTolerated) {
  std::string reply = readReply(1, 4, 3);
  reply.push_back('\0');
  const ReplyCheck c = CheckReadReply(reply);
  EXPECT_EQ(c.kind, ReplyCheck::Kind::Registers);
  EXPECT_EQ(c.registers.size(), 3u);
  reply.back() = '\x01';  // only a 0x00 is tolerated after the CRC
  EXPECT_EQ(CheckReadReply(reply).kind, ReplyCheck::Kind::CrcError);
}

// A correct reply whose CRC high byte is 0x00 also ends in 0x00; it must still pass.
TEST(ModbusReply, CrcHighByteZeroStillPasses) {
  std::string found;
  for (int v = 0; v < 65536 && found.empty(); ++v) {
    std::string body{'\x01', '\x04', '\x02', static_cast<char>(v >> 8), static_cast<char>(v & 0xFF)};
    if (ModbusCrc(body).high == 0x00) found = withCrc(body);
  }
  ASSERT_FALSE(found.empty());
  const ReplyCheck c = CheckReadReply(found);
  ASSERT_EQ(c.kind, ReplyCheck::Kind::Registers);
  ASSERT_EQ(c.registers.size(), 1u);
  EXPECT_EQ(c.registers[0].high, static_cast<uint8_t>(found[3]));
  // With one extra 0x00 after it, it passes as well.
  EXPECT_EQ(CheckReadReply(found + '\0').kind, ReplyCheck::Kind::Registers);
}

TEST(ModbusReply, RefusalsLogAndLeaveTheTableAlone) {
  {  // bad CRC: status panel and log, the log line ends in a carriage return
    std::string bad = readReply(1, 4, 2);
    bad[3] ^= 0x01;
    Recorder r;
    DecodeReadReply(1, 1, bad, r);
    EXPECT_EQ(r.status, "Error in CRC field");
    EXPECT_EQ(r.log, std::vector<std::string>{"Error in CRC field\r"});
    EXPECT_TRUE(r.regs.empty());
  }
  for (const std::string& shortReply : {std::string("\x01"), std::string("\x01\x04"), std::string(3, '\0')}) {
    Recorder r;
    DecodeReadReply(1, 1, shortReply, r);
    EXPECT_EQ(r.status, "Error in CRC field") << shortReply.size();
    EXPECT_TRUE(r.regs.empty());
  }
  {  // slave address 0
    Recorder r;
    DecodeReadReply(1, 1, readReply(0, 4, 2), r);
    EXPECT_EQ(r.log, std::vector<std::string>{"Garbage leading bytes in the telegram"});
    EXPECT_TRUE(r.regs.empty());
  }
  {  // exception code 2
    Recorder r;
    DecodeReadReply(1, 1, withCrc(std::string("\x01\x84\x02", 3)), r);
    EXPECT_EQ(r.log, std::vector<std::string>{"Error - ILLEGAL DATA ADDRESS\r"});
    EXPECT_TRUE(r.regs.empty());
  }
  {  // exception code 5 has no message
    Recorder r;
    DecodeReadReply(1, 1, withCrc(std::string("\x01\x84\x05", 3)), r);
    EXPECT_TRUE(r.log.empty());
    EXPECT_TRUE(r.regs.empty());
  }
  EXPECT_EQ(ExceptionLogLine(1), "Error - ILLEGAL FUNCTION\r");
  EXPECT_EQ(ExceptionLogLine(3), "Error - ILLEGAL DATA VALUE\r");
  EXPECT_EQ(ExceptionLogLine(4), "Error - SLAVE DEVICE FAILURE\r");
  EXPECT_EQ(ExceptionLogLine(6), "Error - SLAVE DEVICE BUSY\r");
  EXPECT_EQ(ExceptionLogLine(8), "Error - MEMORY PARITY ERROR\r");
  for (int code : {0, 5, 7, 10, 11, 255}) EXPECT_EQ(ExceptionLogLine(code), "") << code;
}

TEST(ModbusReply, ByteCountBeyondTheFrameStopsAtItsEnd) {
  // Byte count 250 over only two registers of data: the loop never reads past the end.
  std::string body{'\x01', '\x04', static_cast<char>(250), '\x11', '\x22', '\x33', '\x44'};
  const ReplyCheck c = CheckReadReply(withCrc(body));
  ASSERT_EQ(c.kind, ReplyCheck::Kind::Registers);
  ASSERT_EQ(c.registers.size(), 3u);  // the third takes the CRC bytes
  // An odd byte count: the last register takes the CRC's low byte as its low byte.
  std::string odd = withCrc(std::string("\x01\x04\x03\x11\x22\x33", 6));
  const ReplyCheck o = CheckReadReply(odd);
  ASSERT_EQ(o.registers.size(), 2u);
  EXPECT_EQ(o.registers[1].low, static_cast<uint8_t>(odd[6]));
}

// A reply answers a read only from the slave asked, with the request's function and exactly the
// registers asked.
TEST(ModbusReply, ReadReplyMatchesItsRequest) {
  const std::string holding = BuildReadHoldingRegisters(1, 100, 2);
  const struct {
    std::string reply;
    bool matches;
  } cases[] = {
      {readReply(1, 3, 2), true},  {readReply(1, 4, 2), false},  // an input-register reply to a holding-register read
      {readReply(1, 3, 1), false},                               // fewer registers than asked
      {readReply(2, 3, 2), false},                               // another slave's reply
      {readReply(1, 3, 3), false}, {readReply(1, 3, 2).substr(0, 6), false},  // the byte count promises more than came
  };
  for (const auto& c : cases) EXPECT_EQ(ReadReplyMatches(holding, c.reply), c.matches) << c.reply.size();
  EXPECT_TRUE(ReadReplyMatches(BuildReadInputRegisters(1, 1, 125), readReply(1, 4, 125)));
}

TEST(ModbusReply, WritesAreConfirmedByTheirEcho) {
  const std::string single = BuildWriteSingleRegister(1, 100, 0x12, 0x34);
  EXPECT_TRUE(WriteEchoConfirms(single, single));
  EXPECT_FALSE(WriteEchoConfirms(single, BuildWriteSingleRegister(1, 100, 0x12, 0x35)));
  EXPECT_FALSE(WriteEchoConfirms(single, single.substr(0, 7)));

  const std::string multiple = BuildWriteMultipleRegisters(1, 100, {0xE979, 0x42F6});
  EXPECT_TRUE(WriteEchoConfirms(multiple, withCrc({1, 0x10, 0, 100, 0, 2})));
  EXPECT_FALSE(WriteEchoConfirms(multiple, withCrc({1, 0x10, 0, 100, 0, 1})));  // fewer registers taken
  std::string badCrc = withCrc({1, 0x10, 0, 100, 0, 2});
  badCrc[7] ^= 1;
  EXPECT_FALSE(WriteEchoConfirms(multiple, badCrc));
}

}  // namespace
}  // namespace ostrel::modbus
