#include "Harness.h"

using namespace ostrel::serial;
using namespace ostrel::serial::test;

TEST(SerialPort, DefaultsOfANewPort) {
  TVaComm p;
  EXPECT_FALSE(p.IsOpen());
  EXPECT_EQ(p.Handle(), nullptr);
  EXPECT_EQ(p.DeviceName(), "COM%d");
  EXPECT_EQ(p.PortNum(), 0);
  EXPECT_EQ(p.Baudrate(), br1200);
  EXPECT_EQ(p.Databits(), db8);
  EXPECT_EQ(p.Parity(), paNone);
  EXPECT_EQ(p.Stopbits(), sb1);
  EXPECT_EQ(p.MonitorEvents(), 200);
  EXPECT_EQ(p.EventPriority(), tpNormal);
  EXPECT_EQ(p.WritePriority(), tpHighest);
  EXPECT_FALSE(p.DirectWrite());
  EXPECT_TRUE(p.UpdateDCB());
  EXPECT_FALSE(p.AutoOpen());
  EXPECT_EQ(p.Options(), 0);
  EXPECT_EQ(p.UserBaudrate(), 0);
  EXPECT_EQ(p.Buffers().ReadSize(), 4096);
  EXPECT_EQ(p.Buffers().XoffLimit(), 1024);
  EXPECT_EQ(p.EventChars().XonChar(), 17);
  EXPECT_EQ(p.EventChars().XoffChar(), 19);
  // Closed-port operations are harmless.
  EXPECT_EQ(p.InputCount(), 0);
  EXPECT_EQ(p.ReadAll(), "");
  EXPECT_EQ(p.OutputSpace(), 0);
  EXPECT_TRUE(p.WriteString(""));
  EXPECT_FALSE(p.WriteByte(1));
  EXPECT_EQ(p.QueryStatus().Stat.InQue, 0u);
  p.PurgeAll();
  p.EscapeFunction(3);
}

TEST_F(FakePortTest, DeviceNameFormatting) {
  port->SetDeviceName("COM%d");
  port->SetPortNum(7);
  EXPECT_EQ(port->FormattedDeviceName(), "COM7");
  port->SetDeviceName("/dev/ttyS%02d-%%");
  EXPECT_EQ(port->FormattedDeviceName(), "/dev/ttyS07-%");
  port->SetDeviceName("\\\\.\\COM3");
  EXPECT_EQ(port->FormattedDeviceName(), "\\\\.\\COM3");
  port->SetDeviceName("%s%n%x");  // no printf reaches the name
  EXPECT_EQ(port->FormattedDeviceName(), "%s%n%x");
  port->SetDeviceName("COM%d");
  port->OpenPort();
  EXPECT_EQ(opened.back(), "COM7");
}

TEST_F(FakePortTest, OpenFailureMessagesLeaveThePortClosed) {
  port->SetDeviceName("missing");
  EXPECT_EQ(raised([&] { port->OpenPort(); }), "Specified device not found (missing).");
  EXPECT_FALSE(port->IsOpen());
  port->SetDeviceName("busy");
  EXPECT_EQ(raised([&] { port->OpenPort(); }), "Can't open specified device busy (Error 16, Device or resource busy)");
  port->SetDeviceName("fake");
  port->OpenPort();
  EXPECT_TRUE(port->IsOpen());
}

TEST_F(FakePortTest, OpenAppliesEverythingAndGuardsSetters) {
  port->SetDirectWrite(true);
  port->SetBaudrate(br9600);
  port->SetParity(paMark);
  port->OpenPort();
  EXPECT_EQ(dev->dcb().BaudRate, 9600u);
  EXPECT_EQ(dev->dcb().Parity, 3);
  EXPECT_EQ(dev->inSize(), 4096u);
  EXPECT_EQ(dev->outSize(), 2048u);
  EXPECT_TRUE(dev->timeoutsSet());
  EXPECT_EQ(dev->eventMask(), 0x0085u);
  EXPECT_EQ(port->ActiveEventMask(), 0x0085u);

  const std::string busy = "Can't perform this operation while port is open";
  EXPECT_EQ(raised([&] { port->OpenPort(); }), busy);
  EXPECT_EQ(raised([&] { port->SetDeviceName("fake"); }), busy);
  EXPECT_EQ(raised([&] { port->SetPortNum(0); }), busy);
  EXPECT_EQ(raised([&] { port->SetMonitorEvents(200); }), busy);
  EXPECT_EQ(raised([&] { port->SetDirectWrite(true); }), busy);
  EXPECT_EQ(raised([&] { port->SetUpdateDCB(true); }), busy);
  EXPECT_EQ(raised([&] { port->SetBuffers(TVaBuffers{}); }), busy);
  // The new size is kept for the next open although the change was refused.
  EXPECT_EQ(raised([&] { port->Buffers().SetWriteSize(4000); }), busy);
  EXPECT_EQ(port->Buffers().WriteSize(), 4000);
  port->Buffers().SetReadTimeout(10);  // accepted silently

  // Line settings changed while open reach the device at once.
  int writes = dev->dcbWrites();
  port->SetBaudrate(br9600);  // unchanged: nothing
  EXPECT_EQ(dev->dcbWrites(), writes);
  port->SetUserBaudrate(250000);
  EXPECT_EQ(port->Baudrate(), brUser);
  EXPECT_EQ(dev->dcb().BaudRate, 250000u);
  port->SetBaudrate(br19200);
  EXPECT_EQ(port->UserBaudrate(), 0);
  EXPECT_EQ(dev->dcb().BaudRate, 19200u);
  port->FlowControl().SetXonXoffOut(true);
  EXPECT_EQ(dev->dcb().Flags, 0x0101u);
  TVaFlowControl fc;
  fc.SetOutCtsFlow(true);
  fc.SetControlRts(rtsEnabled);
  writes = dev->dcbWrites();
  port->SetFlowControl(fc);
  EXPECT_EQ(dev->dcbWrites(), writes + 1);  // one write for the whole copy
  EXPECT_EQ(dev->dcb().Flags, 0x1005u);
  port->EventChars().SetEofChar(4);
  EXPECT_EQ(dev->dcb().EofChar, 4);

  dev->failNext("dcb", EIO);
  EXPECT_EQ(raised([&] { port->SetStopbits(sb2); }), "Error writing dcb (5), Input/output error");
  EXPECT_TRUE(port->IsOpen());
  EXPECT_EQ(port->Stopbits(), sb2);

  port->ClosePort();
  port->OpenPort();
  EXPECT_EQ(dev->outSize(), 4000u);
  EXPECT_EQ(dev->dcb().StopBits, 2);
}

TEST_F(FakePortTest, UpdateDcbOffNeverWritesTheRecord) {
  port->SetUpdateDCB(false);
  port->OpenPort();
  port->SetBaudrate(br57600);
  EXPECT_EQ(dev->dcbWrites(), 0);
}

TEST_F(FakePortTest, FailingOpenStepClosesTheDeviceAgain) {
  const std::pair<const char*, const char*> steps[] = {{"dcb", "Error writing dcb (22), Invalid argument"},
                                                       {"queues", "Error initializing buffers (22), Invalid argument"},
                                                       {"timeouts", "Error setting timeouts (22), Invalid argument"},
                                                       {"mask", " Error setting EventMask (22), Invalid argument"}};
  // Workers of earlier cases end first, so that any worker seen below is this port's.
  ASSERT_TRUE(until([] { return runningCommThreads() == 0; }));
  for (auto [op, msg] : steps) {
    dev = std::make_shared<TVaFakeDevice>();
    dev->failNext(op, EINVAL);
    EXPECT_EQ(raised([&] { port->OpenPort(); }), msg);
    EXPECT_FALSE(port->IsOpen());
    EXPECT_TRUE(dev->closed());
    // The workers start only once every step has succeeded: a failed open leaves none.
    EXPECT_EQ(runningCommThreads(), 0) << op;
  }
}

TEST_F(FakePortTest, OpenAndCloseHandlers) {
  int opens = 0, closes = 0;
  port->OnOpen = [&](TVaCustomComm* s) {
    EXPECT_EQ(s, port.get());
    ++opens;
    throw std::runtime_error("open handler");
  };
  port->OnClose = [&](TVaCustomComm* s) {
    EXPECT_FALSE(s->IsOpen());  // fires after the device is closed
    ++closes;
  };
  port->ClosePort();  // closed: nothing
  EXPECT_EQ(closes, 0);
  port->OpenPort();  // the raising handler does not undo the open
  EXPECT_TRUE(port->IsOpen());
  EXPECT_EQ(opens, 1);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0], "open handler");
  port->ClosePort();
  EXPECT_EQ(closes, 1);

  // The user closed the device through Handle: the port still counts as open and closes fully.
  port->OpenPort();
  port->Handle()->close();
  EXPECT_TRUE(port->IsOpen());
  port->ClosePort();
  EXPECT_FALSE(port->IsOpen());
  EXPECT_EQ(closes, 2);

  port->OnClose = [&](TVaCustomComm*) { throw EVaCommError("close handler"); };
  port->OpenPort();
  EXPECT_EQ(raised([&] { port->ClosePort(); }), "close handler");
  EXPECT_FALSE(port->IsOpen());

  // Destruction closes without OnClose.
  port->OnClose = [&](TVaCustomComm*) { ++closes; };
  port->OpenPort();
  port.reset();
  EXPECT_EQ(closes, 2);
  EXPECT_TRUE(dev->closed());
}

TEST_F(FakePortTest, AutoOpenAfterLoading) {
  port->Loaded();
  EXPECT_FALSE(port->IsOpen());
  port->SetAutoOpen(true);
  port->Loaded();
  EXPECT_TRUE(port->IsOpen());
}

TEST_F(FakePortTest, RtsLineAndEscapes) {
  port->SetRtsLine(true);  // closed and no handshake: nothing
  port->FlowControl().SetControlRts(rtsToggle);
  const std::string refused = "RTS line updates not allowed when flowcontrol is set to Handshake or Toggle.";
  EXPECT_EQ(raised([&] { port->SetRtsLine(true); }), refused);
  port->FlowControl().SetControlRts(rtsHandshake);
  EXPECT_EQ(raised([&] { port->SetRtsLine(false); }), refused);
  port->FlowControl().SetControlRts(rtsDisabled);
  port->OpenPort();
  port->SetRtsLine(true);
  port->SetRtsLine(false);
  port->EscapeFunction(esc::SetBreak);
  EXPECT_EQ(dev->escapes(), (std::vector<uint32_t>{3, 4, 8}));
  dev->failNext("escape", EIO);
  EXPECT_EQ(raised([&] { port->SetRtsLine(true); }), "Error calling comm function (5), Input/output error");
}

TEST_F(FakePortTest, StatusAndPurgeErrors) {
  port->SetDirectWrite(true);
  port->OpenPort();
  dev->setOutQueue(48);
  EXPECT_EQ(port->OutputSpace(), 2000);
  dev->failNext("status", EIO);
  EXPECT_EQ(raised([&] { port->QueryStatus(); }), "Error retrieving statistics (5), Input/output error");
  dev->failNext("purge", EINVAL);
  EXPECT_EQ(raised([&] { port->PurgeAll(); }), "Error clearing buffers (22), Invalid argument");
  dev->injectBytes("abc");
  port->PurgeBuffers(10);
  EXPECT_EQ(port->InputCount(), 0);
}
