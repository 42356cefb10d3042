// The line as the terminal holds it: rates, frame shapes, parity handling and exclusive use,
// read back from a real pseudo-terminal with the tools an engineer would use.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <atomic>
#include <thread>

#include "Harness.h"
#include "PtyPair.h"
#include "Termios2Rate.h"
#include "serial/platform/TermiosDevice.h"

using namespace ostrel::serial;
using namespace ostrel::serial::test;

namespace {

struct PtyLineTest : ::testing::Test {
  std::shared_ptr<TVaMainLoop> loop = std::make_shared<TVaMainLoop>();
  PtyPair pty;
  TVaComm port;

  void SetUp() override {
    ASSERT_TRUE(pty.ok());
    port.SetMainThreadSync(loop);
    port.SetDeviceName(pty.slave);
    port.SetDirectWrite(true);
  }
  int fd() { return dynamic_cast<TVaTermiosDevice&>(*port.Handle()).fd(); }
  termios attrs() {
    termios t{};
    EXPECT_EQ(tcgetattr(fd(), &t), 0);
    return t;
  }
  speed_t outSpeed() {
    termios t = attrs();
    return cfgetospeed(&t);
  }
  speed_t inSpeed() {
    termios t = attrs();
    return cfgetispeed(&t);
  }
};

}  // namespace

TEST_F(PtyLineTest, StandardRatesReadBackAsTheirConstants) {
  port.SetBaudrate(br2400);
  port.OpenPort();
  EXPECT_EQ(outSpeed(), static_cast<speed_t>(B2400));
  EXPECT_EQ(inSpeed(), static_cast<speed_t>(B2400));
  const std::pair<TVaBaudrate, speed_t> named[] = {{br110, B110},      {br1200, B1200},   {br9600, B9600},
                                                   {br19200, B19200},  {br38400, B38400}, {br57600, B57600},
                                                   {br115200, B115200}};
  for (auto [rate, constant] : named) {
    port.SetBaudrate(rate);
    EXPECT_EQ(outSpeed(), constant) << baudrateValue(rate);
    EXPECT_EQ(inSpeed(), constant) << baudrateValue(rate);
    EXPECT_EQ(termios2OutputRate(fd()), baudrateValue(rate));
  }
  // A user rate that has a constant goes through it too.
  port.SetUserBaudrate(230400);
  EXPECT_EQ(outSpeed(), static_cast<speed_t>(B230400));
  // Rates without a constant are still set exactly.
  for (uint32_t odd : {14400u, 56000u, 128000u, 31250u}) {
    port.SetUserBaudrate(static_cast<int32_t>(odd));
    EXPECT_EQ(termios2OutputRate(fd()), odd);
  }
}

// Every rate the terminal has a constant for is set through that constant, in both
// directions, and holds the exact rate.
TEST_F(PtyLineTest, EveryNamedRateReadsBackAsItsConstant) {
  port.OpenPort();
  const std::pair<uint32_t, speed_t> named[] = {
      {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
      {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
      {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
      {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
      {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
      {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000}};
  for (auto [rate, constant] : named) {
    port.SetUserBaudrate(static_cast<int32_t>(rate));
    EXPECT_EQ(outSpeed(), constant) << rate;
    EXPECT_EQ(inSpeed(), constant) << rate;
    EXPECT_EQ(termios2OutputRate(fd()), rate);
  }
}

TEST_F(PtyLineTest, StopBitsTheLineCannotCarryAreRefused) {
  port.SetDatabits(db8);
  port.SetStopbits(sb15);
  EXPECT_EQ(raised([&] { port.OpenPort(); }), "Error writing dcb (22), Invalid argument");
  EXPECT_FALSE(port.IsOpen());

  port.SetStopbits(sb1);
  port.OpenPort();
  for (TVaDatabits bits : {db6, db7, db8}) {
    port.SetDatabits(bits);
    EXPECT_EQ(raised([&] { port.SetStopbits(sb15); }), "Error writing dcb (22), Invalid argument");
    EXPECT_FALSE(attrs().c_cflag & CSTOPB) << "the previous frame stays in force";
    port.SetStopbits(sb1);
  }
  // Five data bits: CSTOPB gives one and a half stop bits, and two cannot be had.
  port.SetDatabits(db5);
  port.SetStopbits(sb15);
  EXPECT_TRUE(attrs().c_cflag & CSTOPB);
  EXPECT_EQ(raised([&] { port.SetStopbits(sb2); }), "Error writing dcb (22), Invalid argument");
  port.SetDatabits(db8);  // two stop bits with eight data bits is a frame the line carries
  EXPECT_TRUE(attrs().c_cflag & CSTOPB);
}

TEST_F(PtyLineTest, ParityCheckingNeverRewritesOrDropsBytes) {
  port.SetParity(paEven);
  port.SetOptions(optionBit(coParityCheck));
  port.OpenPort();
  termios t = attrs();
  // INPCK without PARMRK turns a byte with a parity error into 0x00; IGNPAR drops it.
  EXPECT_FALSE(t.c_iflag & INPCK);
  EXPECT_FALSE(t.c_iflag & IGNPAR);
  EXPECT_FALSE(t.c_iflag & PARMRK);
  EXPECT_FALSE(t.c_iflag & ISTRIP);
}

// Another program holds the device (flock): the refused open must not leave the terminal
// exclusive behind it, or nobody could open it any more; a holder's own exclusive mode stays.
TEST(PtyExclusiveUse, ARefusedOpenLeavesTheTerminalAsItFoundIt) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  int holder = ::open(pty.slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
  auto exclusive = [&] {
    int on = -1;
    EXPECT_EQ(ioctl(holder, TIOCGEXCL, &on), 0);
    return on;
  };
  int err = 0;
  EXPECT_EQ(TVaTermiosDevice::open(pty.slave, err), nullptr);
  EXPECT_EQ(err, EBUSY);
  EXPECT_EQ(exclusive(), 0);

  ASSERT_EQ(ioctl(holder, TIOCEXCL), 0);
  EXPECT_EQ(TVaTermiosDevice::open(pty.slave, err), nullptr);
  EXPECT_EQ(err, EBUSY);
  EXPECT_EQ(exclusive(), 1);

  ASSERT_EQ(ioctl(holder, TIOCNXCL), 0);
  ::close(holder);  // the holder let go: the device opens
  EXPECT_NE(TVaTermiosDevice::open(pty.slave, err), nullptr);
}

namespace {

// Driver counters the test moves, standing in for a UART's (a pseudo-terminal keeps none).
struct TestCounters {
  std::atomic<int> frame{0}, overrun{0}, parity{0};
  TVaCounterReader reader() {
    return [this](int, TVaLineCounters& c) {
      c = {};
      c.frame = frame;
      c.overrun = overrun;
      c.parity = parity;
      return true;
    };
  }
};

struct CountedPtyTest : PtyLineTest {
  TestCounters counters;
  void SetUp() override {
    PtyLineTest::SetUp();
    port.SetDeviceOpener([this](const std::string& name, int& err) -> TVaDevicePtr {
      return TVaTermiosDevice::open(name, err, counters.reader());
    });
  }
  // Sends the bytes and collects the error flags of every status query until they have
  // arrived (the loop is not pumped, so no dispatch takes the flags first), then reads them.
  std::pair<uint32_t, std::string> receiveWithErrors(const std::string& bytes) {
    EXPECT_TRUE(pty.send(bytes));
    uint32_t errors = 0;
    auto deadline = std::chrono::steady_clock::now() + 3s;
    for (;;) {
      TVaCommStatus st = port.QueryStatus();
      errors |= st.Errors;
      if (st.Stat.InQue >= bytes.size() || std::chrono::steady_clock::now() > deadline) break;
      std::this_thread::sleep_for(1ms);
    }
    return {errors, port.ReadAll()};
  }
};

}  // namespace

TEST_F(CountedPtyTest, ErrorsCountedBeforeTheOpenAreNotReported) {
  counters.frame = 5;  // since the driver loaded, long before this program
  counters.overrun = 3;
  port.OpenPort();
  EXPECT_EQ(port.QueryStatus().Errors, 0u);
  counters.frame = 6;
  EXPECT_EQ(port.QueryStatus().Errors, ce::Frame);
  EXPECT_EQ(port.QueryStatus().Errors, 0u);
  // A new open starts from the counts it finds.
  port.ClosePort();
  counters.overrun = 9;
  port.OpenPort();
  EXPECT_EQ(port.QueryStatus().Errors, 0u);
}

TEST_F(CountedPtyTest, ParityErrorsArriveUnchangedAndAreReportedWhenChecked) {
  port.SetParity(paEven);
  port.OnRxChar = nullptr;
  port.OpenPort();
  // Checking off: the driver's parity count is no error of ours; a framing error is.
  counters.parity = 1;
  counters.frame = 1;
  auto [off, offBytes] = receiveWithErrors("\x5A");
  EXPECT_EQ(off, ce::Frame);
  EXPECT_EQ(offBytes, "\x5A");

  port.SetOptions(optionBit(coParityCheck));
  counters.parity = 2;
  auto [on, onBytes] = receiveWithErrors(std::string("\xA5\x00", 2));
  EXPECT_EQ(on, ce::RxParity);
  EXPECT_EQ(onBytes, std::string("\xA5\x00", 2));
}
