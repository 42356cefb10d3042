// A request sent through a real port object: RTS stays raised until the line has sent the
// request's last byte, as an RS-485 adapter switched by RTS needs.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "fakes.h"
#include "modbus/frames.h"
#include "serial/VaComm.h"
#include "testing/FakeDevice.h"

namespace ostrel::modbus {
namespace {

using namespace ostrel::serial;
using namespace std::chrono_literals;

// The port operations as the window hands them to the senders.
class PortLink : public ModbusLink {
 public:
  explicit PortLink(TVaComm& port) : port_(port) {}
  void PurgeAll() override { port_.PurgeAll(); }
  void SetRts(bool on) override { port_.SetRtsLine(on); }
  bool WriteByte(uint8_t b) override { return port_.WriteByte(b); }
  void WaitUntilSent() override { port_.WaitUntilSent(); }
  int OutputSpace() override { return port_.OutputSpace(); }
  void SleepMs(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

 private:
  TVaComm& port_;
};

TEST(ModbusOverPort, RtsDropsOnlyAfterTheLineHasSentTheRequest) {
  auto loop = std::make_shared<TVaMainLoop>();
  auto dev = std::make_shared<TVaFakeDevice>();
  TVaComm port;
  port.SetMainThreadSync(loop);
  port.SetDeviceOpener([&](const std::string&, int&) -> TVaDevicePtr { return dev; });
  port.SetDeviceName("fake");
  port.SetDirectWrite(true);
  port.OpenPort();
  dev->setWriteCapacity(64);  // the device takes the bytes; the line sends them when drained
  std::thread line([&] {
    // A slow line: it has sent everything only some time after the last byte was taken.
    auto deadline = std::chrono::steady_clock::now() + 2s;
    while (!dev->sendWaiting() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(100us);
    dev->drainOutput();
  });
  testing::Journal j;
  testing::FakeLog log(j);
  PortLink link(port);
  SendReadInputRegisters(link, log, 1, 1, 125);
  line.join();
  EXPECT_EQ(dev->written(), std::string("\x01\x04\x00\x01\x00\x7D\x61\xEB", 8));
  ASSERT_EQ(dev->escapes(), (std::vector<uint32_t>{esc::SetRts, esc::ClrRts}));
  EXPECT_EQ(dev->unsentAtEscapes()[1], 0u) << "RTS dropped while the request was still going out";
}

}  // namespace
}  // namespace ostrel::modbus
