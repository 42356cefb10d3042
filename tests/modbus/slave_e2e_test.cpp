// The Modbus master's frames and reply check against a real Modbus RTU slave
// (Debian's pymodbus, started by tests/e2e/modbus_slave.py) over a pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "fakes.h"
#include "modbus/readout.h"
#include "peer.h"

namespace ostrel::modbus {
namespace {

using Clock = std::chrono::steady_clock;

class SlaveE2e : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* src = std::getenv("OSTREL_SOURCE_DIR");
    ASSERT_NE(src, nullptr) << "OSTREL_SOURCE_DIR is not set";
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master_, 0);
    ASSERT_EQ(grantpt(master_), 0);
    ASSERT_EQ(unlockpt(master_), 0);
    const std::string path = ptsname(master_);
    // Held open so the master never sees a hang-up between the helper's opens.
    keep_ = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(keep_, 0);
    testing::MakeRaw(keep_);

    dump_ = ::testing::TempDir() + "modbus_slave_" + std::to_string(getpid()) + ".json";
    std::remove(dump_.c_str());
    ASSERT_TRUE(
        slave_.Start("tests/e2e/modbus_slave.py", {"--port", path, "--input-count", "200", "--dump", dump_}, "READY\n"))
        << "the Modbus slave did not start: " << slave_.Output();
  }

  void TearDown() override {
    slave_.Stop();
    if (keep_ >= 0) ::close(keep_);
    if (master_ >= 0) ::close(master_);
    std::remove(dump_.c_str());
  }

  void collect(size_t expected) { m_.CollectReply(testing::ReadReply(master_, expected)); }

  // The slave's holding registers once `reg` holds `value`, or the last dump at the deadline.
  std::map<int, int> holdingOnce(int reg, int value) {
    std::map<int, int> regs;
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < deadline) {
      regs.clear();
      std::ifstream f(dump_);
      std::stringstream ss;
      ss << f.rdbuf();
      std::string s = ss.str();
      for (char& c : s) {
        if (c == '{' || c == '}' || c == '"' || c == ':' || c == ',') c = ' ';
      }
      std::istringstream in(s);
      int k, v;
      while (in >> k >> v) regs[k] = v;
      if (regs.count(reg) && regs[reg] == value) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return regs;
  }

  int master_ = -1, keep_ = -1;
  testing::PythonHelper slave_;
  std::string dump_;
  testing::Journal j_;
  testing::FdLink link_{master_};
  testing::FakeView view_{j_};
  ModbusMaster m_{link_, view_};
};

TEST_F(SlaveE2e, ReadsRegistersAndRefusesAMissingRange) {
  m_.ReadRegisters({true, "1", "125", 1, 600});
  ASSERT_EQ(j_.log.front(), "SENT:01 04 00 01 00 7D 61 EB ");
  collect(255);
  m_.ReplyWaitEnded(false, "1");
  ASSERT_EQ(view_.RowCount(), 127) << ::testing::PrintToString(j_.log);
  for (int reg = 1; reg <= 125; ++reg) {
    const auto& row = view_.rows[reg];
    char hi[3], lo[3];
    std::snprintf(hi, sizeof hi, "%02X", reg & 0xFF);
    std::snprintf(lo, sizeof lo, "%02X", (3 * reg + 1) & 0xFF);
    EXPECT_EQ(row[0], std::to_string(reg));
    EXPECT_EQ(row[1], hi) << reg;
    EXPECT_EQ(row[3], lo) << reg;
  }

  // Registers 190..209 run past the slave's 200 input registers.
  m_.ReadRegisters({true, "190", "20", 1, 600});
  collect(5);
  m_.ReplyWaitEnded(false, "190");
  ASSERT_GE(j_.log.size(), 2u);
  EXPECT_EQ(j_.log[j_.log.size() - 2], "Error - ILLEGAL DATA ADDRESS\r");
  EXPECT_EQ(view_.RowCount(), 127);
}

TEST_F(SlaveE2e, CommandsReachTheHoldingRegisters) {
  CommandControls zone;
  zone.command = PanelCommand::ZoneControl;
  zone.panelNumber = 3;
  zone.zoneDevice = 17;
  m_.WriteHoldingRegister(true, 1, zone);
  collect(8);
  m_.ReplyWaitEnded(false, "1");
  EXPECT_EQ(holdingOnce(1, 0x3111)[1], 0x3111);

  const ClockTime clock{2026, 12, 6, 10, 20, 30, 7};
  m_.SetDateTime(true, 1, clock);
  collect(8);
  auto regs = holdingOnce(5, 0xEA00);
  EXPECT_EQ(regs[2], 30 << 8 | 20);
  EXPECT_EQ(regs[3], 10 << 8 | 7);
  EXPECT_EQ(regs[4], 6 << 8 | 12);
  EXPECT_EQ(regs[5], 0xEA00);

  m_.WriteLineSettings(true, 1, LineControls{"19200", "Even", false, true});
  EXPECT_EQ(holdingOnce(0x8012, 0x51)[0x8012], 0x51);
  m_.WriteLineSettings(true, 1, LineControls{"57600", "None", true, false});
  EXPECT_EQ(holdingOnce(0x8013, 0x72)[0x8013], 0x72);
  m_.SetSlaveAddress("9", true, 1);
  EXPECT_EQ(holdingOnce(0x8011, 9)[0x8011], 9);
}

}  // namespace
}  // namespace ostrel::modbus
