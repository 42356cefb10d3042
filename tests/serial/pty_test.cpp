#include <sys/resource.h>
#include <termios.h>

#include <thread>

#include "Harness.h"
#include "PtyPair.h"
#include "serial/platform/TermiosDevice.h"

using namespace ostrel::serial;
using namespace ostrel::serial::test;

namespace {

struct PtyPortTest : ::testing::Test {
  std::shared_ptr<TVaMainLoop> loop = std::make_shared<TVaMainLoop>();
  PtyPair pty;
  std::vector<std::string> reports;
  std::string received;
  std::unique_ptr<TVaComm> port = make(pty.slave);

  std::unique_ptr<TVaComm> make(const std::string& path) {
    auto p = std::make_unique<TVaComm>();
    p->SetMainThreadSync(loop);
    p->ErrorReport = [this](const std::exception& e) { reports.push_back(e.what()); };
    p->SetDeviceName(path);
    p->SetDirectWrite(true);
    // The window's line settings: a pseudo-terminal holds no parity, and that is no error.
    p->SetBaudrate(br2400);
    p->SetParity(paEven);
    p->SetStopbits(sb2);
    p->OnRxChar = [this](TVaCustomComm* s, int32_t) { received += s->ReadAll(); };
    return p;
  }
  void SetUp() override { ASSERT_TRUE(pty.ok()); }
  bool until(const std::function<bool()>& pred, std::chrono::milliseconds t = 3000ms) {
    return loop->runUntil(pred, t);
  }
};

double cpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

TEST_F(PtyPortTest, BytesBothWays) {
  port->OpenPort();
  const std::string frame(
      "\x02"
      "0A1B\0\xff\x04",
      8);
  ASSERT_TRUE(pty.send(frame));
  ASSERT_TRUE(until([&] { return received.size() >= frame.size(); }));
  EXPECT_EQ(received, frame);
  EXPECT_TRUE(port->WriteString(frame));
  EXPECT_TRUE(port->WriteByte(0x55));
  EXPECT_EQ(pty.receive(9), frame + "\x55");
  port->SetRtsLine(true);  // no modem lines on a pseudo-terminal: a no-op
  port->SetRtsLine(false);
  port->SetUserBaudrate(31250);  // a rate without a constant of its own
  EXPECT_EQ(port->OutputSpace() <= 2048, true);
  EXPECT_TRUE(reports.empty());
}

TEST_F(PtyPortTest, BulkInputThroughAFullQueueArrivesWhole) {
  // The far end keeps the input queue full, so its byte count is often the same before and
  // after a read: every refill must still be announced.
  port->OpenPort();
  std::string data;
  for (int i = 0; i < 256 * 1024; ++i) data += static_cast<char>((i * 31) ^ (i >> 8));
  std::thread writer([&] { pty.send(data); });
  bool done = until([&] { return received.size() >= data.size(); }, 10000ms);
  writer.join();
  ASSERT_TRUE(done) << received.size();
  EXPECT_TRUE(received == data);
}

TEST_F(PtyPortTest, ExclusiveOpenAndMissingDevice) {
  port->OpenPort();
  auto second = make(pty.slave);
  std::string msg;
  try {
    second->OpenPort();
  } catch (const EVaCommError& e) {
    msg = e.what();
  }
  EXPECT_EQ(msg, "Can't open specified device " + pty.slave + " (Error 16, Device or resource busy)");
  EXPECT_FALSE(second->IsOpen());
  int err = 0;
  EXPECT_EQ(TVaTermiosDevice::open(pty.slave, err), nullptr);
  EXPECT_EQ(err, EBUSY);
  port->ClosePort();
  second->OpenPort();  // free again once the first let go
  EXPECT_TRUE(second->IsOpen());

  auto missing = make("/dev/ostrel-no-such-tty");
  EXPECT_EQ(raised([&] { missing->OpenPort(); }), "Specified device not found (/dev/ostrel-no-such-tty).");
}

TEST_F(PtyPortTest, PurgeDropsWaitingInput) {
  port->OnRxChar = nullptr;
  port->OpenPort();
  ASSERT_TRUE(pty.send("stale bytes"));
  ASSERT_TRUE(until([&] { return port->InputCount() == 11; }));
  port->PurgeBuffers(purge::RxAbort | purge::RxClear);
  EXPECT_EQ(port->InputCount(), 0);
  ASSERT_TRUE(pty.send("new"));
  ASSERT_TRUE(until([&] { return port->InputCount() == 3; }));
  EXPECT_EQ(port->ReadAll(), "new");
  // Aborting with no write in progress leaves the next write whole.
  port->PurgeAll();
  EXPECT_TRUE(port->WriteString("request"));
  EXPECT_EQ(pty.receive(7), "request");
}

// Purging both queues with nothing being written must not swallow the next
// write: the Modbus master purges before every request.
TEST_F(PtyPortTest, WritesAfterAFullPurgeGoOutWhole) {
  port->OpenPort();
  port->PurgeAll();
  EXPECT_TRUE(port->WriteByte(0x01));
  EXPECT_TRUE(port->WriteByte(0x04));
  EXPECT_EQ(pty.receive(2), std::string("\x01\x04", 2));
}

TEST_F(PtyPortTest, FarEndClosingIsReportedOnceWithoutSpinning) {
  port->OpenPort();
  ASSERT_TRUE(pty.send("last"));
  ASSERT_TRUE(until([&] { return received == "last"; }));
  pty.closeMaster();
  ASSERT_TRUE(until([&] { return !reports.empty(); }));
  double cpu0 = cpuSeconds();
  loop->runFor(200ms);
  double spent = cpuSeconds() - cpu0;
  EXPECT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].find("is no longer available"), std::string::npos) << reports[0];
  EXPECT_LT(spent, 0.1) << "a thread keeps spinning on the lost device";
  EXPECT_TRUE(until([] { return runningCommThreads() == 0; }));
  port->ClosePort();
  EXPECT_FALSE(port->IsOpen());

  // The device comes back (a new far end): the port opens and works again.
  PtyPair again;
  ASSERT_TRUE(again.ok());
  port->SetDeviceName(again.slave);
  received.clear();
  port->OpenPort();
  ASSERT_TRUE(again.send("back"));
  ASSERT_TRUE(until([&] { return received == "back"; }));
}

TEST_F(PtyPortTest, QueuedWritesReachTheFarEnd) {
  auto q = make(pty.slave);
  port.reset();
  q->SetDirectWrite(false);
  int drained = 0;
  q->OnTxEmpty = [&](TVaCustomComm*) { ++drained; };
  q->OpenPort();
  std::string data;
  for (int i = 0; i < 3000; ++i) data += static_cast<char>(i * 7);
  for (size_t off = 0; off < data.size(); off += 1000) EXPECT_TRUE(q->WriteString(data.substr(off, 1000)));
  std::string got;
  ASSERT_TRUE(until([&] {
    got += pty.receive(data.size() - got.size(), 5);
    return got.size() >= data.size();
  }));
  EXPECT_EQ(got, data);
  EXPECT_TRUE(until([&] { return drained >= 1; }));
}

TEST_F(PtyPortTest, LineConfigurationReachesTheTerminal) {
  int err = 0;
  auto dev = TVaTermiosDevice::open(pty.slave, err);
  ASSERT_TRUE(dev) << err;
  EXPECT_TRUE(dev->isPseudoTerminal());
  TVaDcb d{};
  d.BaudRate = 31250;  // no Bnnn constant
  d.ByteSize = 7;
  d.Parity = 2;  // dropped by a pseudo-terminal, without an error
  d.StopBits = 2;
  d.Flags = dcb::Binary | dcb::OutX | dcb::InX;
  d.XonChar = 0x21;
  d.XoffChar = 0x23;
  ASSERT_EQ(dev->applyLineConfiguration(d), 0);
  termios t{};
  ASSERT_EQ(tcgetattr(dev->fd(), &t), 0);
  // A pseudo-terminal keeps 8-bit bytes whatever is asked; the other fields hold.
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(dev->isPseudoTerminal() ? CS8 : CS7));
  EXPECT_TRUE(t.c_cflag & CSTOPB);
  EXPECT_TRUE(t.c_cflag & CREAD);
  EXPECT_TRUE((t.c_iflag & IXON) && (t.c_iflag & IXOFF));
  EXPECT_EQ(t.c_cc[VSTART], 0x21);
  EXPECT_EQ(t.c_cc[VSTOP], 0x23);
  EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG));
  EXPECT_FALSE(t.c_oflag & OPOST);
  d.ByteSize = 4;
  EXPECT_EQ(dev->applyLineConfiguration(d), EINVAL);
  dev->close();
  EXPECT_EQ(dev->applyLineConfiguration(d), EBADF);
}

TEST_F(PtyPortTest, DirectWriteReportsAnEmptyOutputQueue) {
  int drained = 0;
  port->OnTxEmpty = [&](TVaCustomComm*) { ++drained; };
  port->OpenPort();
  EXPECT_TRUE(port->WriteString("ping"));
  ASSERT_TRUE(until([&] { return drained == 1; }));
  EXPECT_EQ(pty.receive(4), "ping");
  loop->runFor(30ms);
  EXPECT_EQ(drained, 1);
}

TEST_F(PtyPortTest, EventCharacterRaisesItsEventAndKeepsTheBytesInOrder) {
  port->SetMonitorEvents(port->MonitorEvents() | eventBit(ceRxFlag));
  port->EventChars().SetEventChar(0x04);
  int flagged = 0;
  size_t receivedAtFlag = 0;
  port->OnRxFlag = [&](TVaCustomComm*) {
    ++flagged;
    receivedAtFlag = received.size();
  };
  port->OpenPort();
  ASSERT_TRUE(pty.send("abc"));
  ASSERT_TRUE(until([&] { return received == "abc"; }));
  loop->runFor(20ms);
  EXPECT_EQ(flagged, 0);
  const std::string frame(
      "\x02"
      "12\x04",
      4);
  ASSERT_TRUE(pty.send(frame));
  ASSERT_TRUE(until([&] { return flagged == 1; }));
  EXPECT_EQ(receivedAtFlag, 7u) << "the bytes of the batch are read before its event fires";
  EXPECT_EQ(received, "abc" + frame);

  // Bulk input while the device looks at every byte: nothing lost, nothing reordered.
  std::string data;
  for (int i = 0; i < 64 * 1024; ++i) data += static_cast<char>(((i * 31) ^ (i >> 8)) | 0x80);
  data += '\x04';
  received.clear();
  flagged = 0;
  std::thread writer([&] { pty.send(data); });
  bool done = until([&] { return received.size() >= data.size() && flagged > 0; }, 10000ms);
  writer.join();
  ASSERT_TRUE(done) << received.size();
  EXPECT_TRUE(received == data);
}

TEST_F(PtyPortTest, WaitUntilSentCostsNothingOnAPseudoTerminal) {
  port->OpenPort();
  EXPECT_TRUE(port->WriteString(std::string(3000, 'w')));  // the far end reads nothing yet
  EXPECT_TRUE(port->WaitUntilSent());
  EXPECT_EQ(pty.receive(3000).size(), 3000u);
}
