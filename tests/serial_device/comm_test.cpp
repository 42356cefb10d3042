// The whole port over the system device: opened by name, bytes both ways, closed.
#include "DeviceHarness.h"
#include "serial/VaComm.h"

using namespace ostrel::serial;
using namespace ostrel::serial::test;

namespace {

struct SystemPortTest : ::testing::Test {
  const TestPorts& ports = LinkedPorts();
  std::shared_ptr<TVaMainLoop> loop = std::make_shared<TVaMainLoop>();
  std::vector<std::string> reports;
  std::string received;
  TVaComm port;

  void SetUp() override {
    if (!ports.skipReason.empty()) GTEST_SKIP() << ports.skipReason;
    ASSERT_EQ(ports.failure, "");
    // The window's settings: both ports write directly and watch errors, arrivals and an
    // empty transmitter. A pseudo-terminal holds no parity, and that is no error.
    port.SetMainThreadSync(loop);
    port.ErrorReport = [this](const std::exception& e) { reports.push_back(e.what()); };
    port.SetDirectWrite(true);
    port.SetBaudrate(br2400);
    port.SetParity(paEven);
    port.SetStopbits(sb2);
    port.OnRxChar = [this](TVaCustomComm* s, int32_t) { received += s->ReadAll(); };
  }
};

}  // namespace

TEST_F(SystemPortTest, APortOpenedByNameExchangesBytesAndCloses) {
  port.SetDeviceName(ports.a);
  port.OpenPort();
  ASSERT_TRUE(port.IsOpen());
  TVaDevicePtr peer = openConfigured(ports.b);
  ASSERT_TRUE(peer);
  const std::string request = pattern(200, 8), reply = pattern(120, 9);
  EXPECT_TRUE(port.WriteString(request));
  EXPECT_TRUE(port.WaitUntilSent());
  const std::string atPeer = receive(*peer, request.size());
  EXPECT_TRUE(atPeer == request) << firstDifference(atPeer, request);
  send(*peer, reply);
  EXPECT_TRUE(loop->runUntil([&] { return received.size() >= reply.size(); }, 5000ms));
  EXPECT_TRUE(received == reply) << firstDifference(received, reply);
  port.SetRtsLine(true);
  port.SetRtsLine(false);
  port.ClosePort();
  EXPECT_FALSE(port.IsOpen());
  port.OpenPort();  // the close gave the device back
  EXPECT_TRUE(port.IsOpen());
  port.ClosePort();
  peer->close();
  EXPECT_TRUE(reports.empty()) << reports.front();
}

TEST_F(SystemPortTest, AMissingDeviceIsReportedAsNotFound) {
  const std::string name = MissingPortName();
  port.SetDeviceName(name);
  std::string error;
  try {
    port.OpenPort();
  } catch (const EVaCommError& e) {
    error = e.what();
  }
  EXPECT_EQ(error, "Specified device not found (" + name + ").");
  EXPECT_FALSE(port.IsOpen());
}
