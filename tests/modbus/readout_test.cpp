#include <gtest/gtest.h>

#include <algorithm>

#include "common/hexdump.h"
#include "fakes.h"
#include "modbus/crc.h"
#include "modbus/readout.h"

namespace ostrel::modbus {
namespace {

using testing::FakeLink;
using testing::FakeView;
using testing::Journal;

std::string withCrc(std::string body) {
  const CrcBytes c = ModbusCrc(body);
  body.push_back(static_cast<char>(c.low));
  body.push_back(static_cast<char>(c.high));
  return body;
}

// A function-4 reply whose registers all hold `high`:`low`.
std::string replyOf(int count, uint8_t high, uint8_t low) {
  std::string b{'\x01', '\x04', static_cast<char>(2 * count)};
  for (int k = 0; k < count; ++k) {
    b.push_back(static_cast<char>(high));
    b.push_back(static_cast<char>(low));
  }
  return withCrc(b);
}

struct ModbusReadout : ::testing::Test {
  Journal j;
  FakeLink link{j};
  FakeView view{j};
  ModbusMaster m{link, view};
  ReadControls read{true, "1", "125", 1, 600};

  // Runs the simulated event loop: timers fire at their due times; every read request
  // is answered at once through `answer`.
  void runUntil(long end, bool autoChecked, const std::function<std::string(int)>& answer) {
    for (;;) {
      long next = end + 1;
      if (view.modbus.enabled) next = std::min(next, view.modbus.due);
      if (view.autoTimer.enabled) next = std::min(next, view.autoTimer.due);
      if (next > end) break;
      view.now = next;
      if (view.modbus.enabled && view.modbus.due == next) {
        view.modbus.due += view.modbus.interval;
        m.ReplyWaitEnded(autoChecked, read.start);
      } else {
        view.autoTimer.due += view.autoTimer.interval;
        m.AutomaticReadout(read);
        m.CollectReply(answer(++requests));
      }
    }
    view.now = end;
  }

  int registerRows() { return view.RowCount() - 2; }
  int requests = 0;
};

TEST_F(ModbusReadout, AutomaticReadoutSkipsALostDeviceLoggingOncePerLoss) {
  read.deviceLost = true;
  for (int tick = 0; tick < 3; ++tick) m.AutomaticReadout(read);
  ASSERT_EQ(j.log.size(), 1u);
  EXPECT_NE(j.log[0].find("no longer available"), std::string::npos);
  EXPECT_TRUE(j.wire.empty());
  read.deviceLost = false;  // connected again
  m.AutomaticReadout(read);
  EXPECT_FALSE(j.wire.empty());
  read.deviceLost = true;  // lost a second time: said again, once
  m.AutomaticReadout(read);
  m.AutomaticReadout(read);
  EXPECT_EQ(std::count(j.log.begin(), j.log.end(), j.log[0]), 2);
  read.portOpen = false;  // a closed port keeps its own line every period
  read.deviceLost = false;
  m.AutomaticReadout(read);
  m.AutomaticReadout(read);
  EXPECT_EQ(std::count(j.log.begin(), j.log.end(), "Serial port for modbus is not open..."), 2);
}

TEST_F(ModbusReadout, RefusalsSendNothing) {
  read.portOpen = false;
  m.ReadRegisters(read);
  read.portOpen = true;
  read.start = "";
  m.ReadRegisters(read);
  read.start = "1";
  read.count = "";
  m.ReadRegisters(read);
  EXPECT_EQ(j.log,
            (std::vector<std::string>{"Serial port for modbus is not open...", "Enter proper initial conditions...",
                                      "Enter proper initial conditions..."}));
  EXPECT_TRUE(j.wire.empty());
  EXPECT_FALSE(view.modbus.enabled);

  read.count = "12a";
  EXPECT_THROW(m.ReadRegisters(read), ConversionError);
  EXPECT_TRUE(j.wire.empty());
  EXPECT_FALSE(view.modbus.enabled);
}

TEST_F(ModbusReadout, ReplyInPiecesFillsRowsAfterTheFullWait) {
  m.CollectReply("stale");
  m.ReadRegisters(read);
  EXPECT_EQ(j.events.front(), "purge");
  EXPECT_EQ(j.wire, std::string("\x01\x04\x00\x01\x00\x7D\x61\xEB", 8));
  EXPECT_TRUE(view.modbus.enabled);
  EXPECT_EQ(view.modbus.interval, 600);
  EXPECT_TRUE(m.RxBuffer().empty());

  const std::string reply = replyOf(125, 0xC0, 0x00);
  ASSERT_EQ(reply.size(), 255u);
  for (size_t at = 0; at < reply.size(); at += 100) m.CollectReply(reply.substr(at, 100));
  EXPECT_EQ(view.RowCount(), 2);  // nothing happens before the wait ends

  m.ReplyWaitEnded(false, "1");
  EXPECT_FALSE(view.modbus.enabled);
  ASSERT_EQ(view.RowCount(), 127);
  EXPECT_EQ(view.rows[1], (std::vector<std::string>{"1", "C0", "ON/Alarm", "00", "", "12:34:56"}));
  EXPECT_EQ(view.rows[125][0], "125");
  EXPECT_EQ(view.rows[126], std::vector<std::string>(kRegisterColumns));
  EXPECT_EQ(j.log.back(), ostrel::hexLine("QVMD:", reply));
  EXPECT_EQ(m.RxBuffer(), reply);  // the buffer stays until the next request

  // A second read-out appends below; a start changed during the wait renumbers.
  m.ReadRegisters(read);
  m.CollectReply(replyOf(2, 0x00, 0x04));
  m.ReplyWaitEnded(false, "2105");
  ASSERT_EQ(view.RowCount(), 129);
  EXPECT_EQ(view.rows[126][0], "2105");
  EXPECT_EQ(view.rows[126][4], "/Fault");
  EXPECT_EQ(view.rows[127][0], "2106");

  m.ClearTable();
  EXPECT_EQ(view.RowCount(), 2);
  EXPECT_EQ(view.rows[1], std::vector<std::string>(kRegisterColumns));
  m.ClearTable();
  EXPECT_EQ(view.RowCount(), 2);
}

TEST_F(ModbusReadout, FailedOrMissingRepliesOnlyLog) {
  m.ReadRegisters(read);
  m.ReplyWaitEnded(false, "1");
  EXPECT_EQ(j.log.back(), "QVMD:");
  EXPECT_EQ(view.RowCount(), 2);

  m.ReadRegisters(read);
  const std::string cut = replyOf(125, 1, 2).substr(0, 100);
  m.CollectReply(cut);
  m.ReplyWaitEnded(false, "1");
  ASSERT_GE(j.log.size(), 2u);
  EXPECT_EQ(j.log[j.log.size() - 2], "Error in CRC field\r");
  EXPECT_EQ(j.log.back(), ostrel::hexLine("QVMD:", cut));
  EXPECT_EQ(view.status2, "Error in CRC field");
  EXPECT_EQ(view.RowCount(), 2);

  // A start text that is not a number stops the end of the wait before any row or log line.
  m.ReadRegisters(read);
  m.CollectReply(replyOf(1, 1, 2));
  const size_t lines = j.log.size();
  EXPECT_THROW(m.ReplyWaitEnded(false, "x"), ConversionError);
  EXPECT_EQ(j.log.size(), lines);
  EXPECT_EQ(view.RowCount(), 2);
}

TEST_F(ModbusReadout, WriteCommandsShareTheWaitAndAreOnlyLogged) {
  CommandControls zone;
  zone.command = PanelCommand::ZoneControl;
  zone.panelNumber = 3;
  zone.zoneDevice = 17;
  m.WriteHoldingRegister(false, 1, zone);
  EXPECT_EQ(j.log.back(), "Serial port is not opened");
  EXPECT_TRUE(j.wire.empty());

  m.CollectReply("old");
  m.WriteHoldingRegister(true, 1, zone);
  EXPECT_EQ(j.wire.substr(0, 6), std::string("\x01\x06\x00\x01\x31\x11", 6));
  EXPECT_TRUE(m.WritePending());
  EXPECT_TRUE(m.RxBuffer().empty());
  EXPECT_EQ(std::count(j.events.begin(), j.events.end(), "purge"), 0);
  EXPECT_TRUE(view.modbus.enabled);
  EXPECT_EQ(view.modbus.interval, 1000);  // no read-out yet: the first wait is 1000 ms

  // The reply (an echo) is logged, not decoded, even though it would pass the check.
  const std::string echo = replyOf(1, 0x80, 0x80);
  m.CollectReply(echo);
  m.ReplyWaitEnded(true, "1");  // with automatic read-out the table is cleared too
  EXPECT_EQ(view.RowCount(), 2);
  EXPECT_EQ(j.log.back(), ostrel::hexLine("QVMD:", echo));
  EXPECT_FALSE(m.WritePending());

  j.wire.clear();
  m.SetDateTime(true, 1, ClockTime{2026, 12, 6, 10, 20, 30, 7});
  EXPECT_EQ(j.wire.size(), 17u);
  EXPECT_EQ(static_cast<uint8_t>(j.wire[10]), 7);
  EXPECT_EQ(static_cast<uint8_t>(j.wire[13]), 0xEA);
  m.SetDateTime(false, 1, ClockTime{});
  EXPECT_EQ(j.log.back(), "Serial port is not opened");
}

TEST_F(ModbusReadout, LineAndAddressCommandsCheckInOrder) {
  auto lastRequest = [&] { return j.wire.substr(j.wire.size() - 8, 6); };
  LineControls line{"115200", "None", false, true};
  m.WriteLineSettings(false, 1, line);
  EXPECT_EQ(j.log.back(), "Serial port is not opened");
  m.WriteLineSettings(true, 1, line);
  EXPECT_EQ(j.log.back(), "Wrong baud or parity selected...");
  line.baud = "19200";
  line.parity = "Even";
  line.modbusPort = false;
  m.CollectReply("pending");
  m.WriteLineSettings(true, 1, line);
  EXPECT_EQ(j.log.back(), "Select either FP or Modbus device...");
  EXPECT_EQ(m.RxBuffer(), "pending");  // a refusal leaves the running wait alone
  EXPECT_FALSE(m.WritePending());
  EXPECT_TRUE(j.wire.empty());

  line.modbusPort = true;
  m.WriteLineSettings(true, 2, line);
  EXPECT_EQ(lastRequest(), std::string("\x02\x06\x80\x12\x00\x51", 6));
  line.fpPort = true;
  m.WriteLineSettings(true, 2, line);
  EXPECT_EQ(lastRequest(), std::string("\x02\x06\x80\x13\x00\x51", 6));

  const size_t sent = j.wire.size();
  m.SetSlaveAddress("", false, 1);
  EXPECT_EQ(j.log.back(), "Modbus address not entered");
  for (const char* bad : {"255", "999"}) {
    m.SetSlaveAddress(bad, false, 1);
    EXPECT_EQ(j.log.back(), "Invalid new modbus address entered...");
  }
  m.SetSlaveAddress("7", false, 1);
  EXPECT_EQ(j.log.back(), "Serial COM port is not opened");
  EXPECT_EQ(j.wire.size(), sent);
  m.SetSlaveAddress("0", true, 1);
  EXPECT_EQ(lastRequest(), std::string("\x01\x06\x80\x11\x00\x00", 6));
  EXPECT_TRUE(m.WritePending());
}

TEST_F(ModbusReadout, AutomaticReadoutShowsOnlyTheLatestReply) {
  m.AutomaticPeriodChanged(1);
  m.SetAutomaticReadout(true);
  EXPECT_TRUE(view.autoTimer.enabled);
  EXPECT_EQ(view.autoTimer.interval, 1000);
  read.count = "3";
  auto answer = [](int n) { return replyOf(3, static_cast<uint8_t>(n), 0); };
  runUntil(999, true, answer);
  EXPECT_TRUE(j.wire.empty());  // the first read-out comes one period after checking
  for (int second = 1; second <= 5; ++second) {
    runUntil(second * 1000 + 650, true, answer);
    // Each request is answered and shown alone after its 600 ms wait.
    ASSERT_EQ(registerRows(), 3) << second;
    EXPECT_EQ(view.rows[1][1], ostrel::hexDump(std::string(1, static_cast<char>(second))).substr(0, 2));
  }
  EXPECT_EQ(std::count(j.events.begin(), j.events.end(), "purge"), 5);
  m.SetAutomaticReadout(false);
  EXPECT_FALSE(view.autoTimer.enabled);
}

TEST_F(ModbusReadout, LaterRequestsDoNotRestartALongWait) {
  m.AutomaticPeriodChanged(1);
  m.SetAutomaticReadout(true);
  read.count = "2";
  read.timeoutMs = 20000;
  runUntil(19999, true, [](int n) { return replyOf(2, static_cast<uint8_t>(n), 0); });
  EXPECT_EQ(registerRows(), 0);  // the wait started at the first request still runs
  EXPECT_TRUE(view.modbus.enabled);
  runUntil(21000, true, [](int n) { return replyOf(2, static_cast<uint8_t>(n), 0); });
  // It ended 20 s after the first request and decoded the reply to the latest one (the 20th).
  ASSERT_EQ(registerRows(), 2);
  EXPECT_EQ(view.rows[1][1], "14");
}

}  // namespace
}  // namespace ostrel::modbus
