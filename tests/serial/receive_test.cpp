#include <thread>

#include "Harness.h"

using namespace ostrel::serial;
using namespace ostrel::serial::test;

namespace {
constexpr TVaCommEvents kAll = 0x1FFF;
}

TEST_F(FakePortTest, OnRxCharAnnouncesWaitingBytesUntilRead) {
  port->SetDirectWrite(true);
  std::vector<int> counts;
  bool read = false;
  std::string got;
  port->OnRxChar = [&](TVaCustomComm* s, int32_t n) {
    counts.push_back(n);
    if (read) got += s->ReadAll();
  };
  port->OpenPort();
  dev->injectBytes("abc");
  ASSERT_TRUE(until([&] { return counts.size() == 1; }));
  EXPECT_EQ(counts[0], 3);
  ASSERT_TRUE(idle());
  read = true;
  dev->injectBytes("de");  // the unread bytes are counted again
  ASSERT_TRUE(until([&] { return counts.size() == 2; }));
  EXPECT_EQ(counts[1], 5);
  EXPECT_EQ(got, "abcde");
  ASSERT_TRUE(idle());

  // Emptied by someone else before the dispatch: no handler fires.
  port->SetEventPriority(tpLower);
  dev->injectBytes("x");
  dev->purge(purge::RxClear);
  ASSERT_TRUE(idle());
  loop->runFor(20ms);
  EXPECT_EQ(counts.size(), 2u);

  // ReadBytes never returns more than is waiting.
  port->OnRxChar = nullptr;
  dev->injectBytes("xy");
  uint8_t buf[16];
  EXPECT_EQ(port->ReadBytes(buf, 16), 2);
  dev->failNextRead(EIO);
  EXPECT_EQ(raised([&] { port->ReadBytes(buf, 1); }), "Read error (5), Input/output error");
}

TEST_F(FakePortTest, BatchDispatchOrder) {
  port->SetMonitorEvents(kAll);
  port->SetDirectWrite(true);
  std::vector<std::string> calls;
  auto note = [&](const char* n) { return [&calls, n](TVaCustomComm*) { calls.push_back(n); }; };
  port->OnRxChar = [&](TVaCustomComm* s, int32_t n) {
    calls.push_back("RxChar" + std::to_string(n));
    s->ReadAll();
  };
  port->OnError = [&](TVaCustomComm*, int32_t e) { calls.push_back("Error" + std::to_string(e)); };
  port->OnRxFlag = note("RxFlag");
  port->OnCts = note("Cts");
  port->OnDsr = note("Dsr");
  port->OnRing = note("Ring");
  port->OnRlsd = note("Rlsd");
  port->OnTxEmpty = note("TxEmpty");
  port->OnBreak = note("Break");
  port->OnPErr = note("PErr");
  port->OnRx80Full = note("Rx80Full");
  port->OnEvent1 = note("Event1");
  port->OnEvent2 = note("Event2");
  port->OnRxBuf = [&](TVaCustomComm*, const uint8_t*, int32_t) { calls.push_back("RxBuf"); };
  port->OpenPort();
  EXPECT_EQ(dev->eventMask(), 0x1FFFu);

  // A line error in the same batch as bytes: the byte count query already cleared the flags.
  dev->inject("ab", ce::Frame, 0x1FFE & ~ev::Err);
  ASSERT_TRUE(until([&] { return calls.size() >= 12; }));
  ASSERT_TRUE(idle());
  EXPECT_EQ(calls, (std::vector<std::string>{"RxChar2", "RxFlag", "Cts", "Dsr", "Ring", "Rlsd", "TxEmpty", "Break",
                                             "PErr", "Rx80Full", "Event1", "Event2"}));
  calls.clear();
  dev->injectErrors(ce::Frame | ce::Overrun);  // alone: fires with its flags
  ASSERT_TRUE(until([&] { return !calls.empty(); }));
  EXPECT_EQ(calls, (std::vector<std::string>{"Error10"}));
}

TEST_F(FakePortTest, StatusQueryBeforeDispatchSwallowsTheError) {
  port->SetDirectWrite(true);
  int errors = 0;
  port->OnError = [&](TVaCustomComm*, int32_t) { ++errors; };
  port->OpenPort();
  ASSERT_TRUE(idle());
  // Hold the main loop: the batch waits for it while we query.
  dev->injectErrors(ce::RxParity);
  ASSERT_TRUE(handOverQueued());
  EXPECT_EQ(port->QueryStatus().Errors, ce::RxParity);
  ASSERT_TRUE(idle());
  EXPECT_EQ(errors, 0);
}

TEST_F(FakePortTest, RaisingRxCharSkipsTheRestOfTheBatchOnly) {
  port->SetDirectWrite(true);
  port->SetMonitorEvents(kAll);
  int rx = 0, cts = 0;
  port->OnRxChar = [&](TVaCustomComm* s, int32_t) {
    s->ReadAll();
    if (++rx == 1) throw EVaCommError("boom");
  };
  port->OnCts = [&](TVaCustomComm*) { ++cts; };
  port->OpenPort();
  dev->inject("a", 0, ev::Cts);
  ASSERT_TRUE(until([&] { return rx == 1; }));
  ASSERT_TRUE(idle());
  EXPECT_EQ(cts, 0);
  EXPECT_EQ(reports, (std::vector<std::string>{"boom"}));
  dev->inject("b", 0, ev::Cts);
  ASSERT_TRUE(until([&] { return cts == 1; }));
  EXPECT_EQ(rx, 2);
}

TEST_F(FakePortTest, ReceiversTakeTheBytesInsteadOfOnRxChar) {
  struct R : TVaCommReceiver {
    std::string data;
    std::vector<uint32_t> events;
    void TakeData(const uint8_t* d, int32_t n) override { data.append(reinterpret_cast<const char*>(d), n); }
    void TakeEvents(uint32_t m) override { events.push_back(m); }
  } a, b;
  b.Active = false;
  port->SetDirectWrite(true);
  port->SetMonitorEvents(kAll);
  int rxChar = 0, rxBuf = 0;
  port->OnRxChar = [&](TVaCustomComm*, int32_t) { ++rxChar; };
  port->OnRxBuf = [&](TVaCustomComm*, const uint8_t*, int32_t n) { rxBuf += n; };
  port->AttachReceiver(&a);
  port->AttachReceiver(&b);
  EXPECT_EQ(a.Port, port.get());
  port->OpenPort();
  dev->inject("hello", 0, ev::Dsr);
  ASSERT_TRUE(until([&] { return !a.events.empty(); }));
  EXPECT_EQ(a.data, "hello");
  EXPECT_EQ(a.events[0], ev::Dsr);
  EXPECT_EQ(b.data, "");
  EXPECT_EQ(rxBuf, 5);
  EXPECT_EQ(rxChar, 0);
  port.reset();
  EXPECT_EQ(a.Port, nullptr);
  EXPECT_EQ(b.Port, nullptr);
}

// The device delivers fewer bytes than it announced: receivers get what was read, no zeros.
TEST_F(FakePortTest, ReceiversGetOnlyTheBytesActuallyRead) {
  struct R : TVaCommReceiver {
    std::string data;
    void TakeData(const uint8_t* d, int32_t n) override { data.append(reinterpret_cast<const char*>(d), n); }
    void TakeEvents(uint32_t) override {}
  } r;
  std::vector<int32_t> counts;
  port->OnRxBuf = [&](TVaCustomComm*, const uint8_t*, int32_t n) { counts.push_back(n); };
  port->AttachReceiver(&r);
  port->OpenPort();
  dev->limitNextRead(2);
  dev->injectBytes("abcdef");
  ASSERT_TRUE(until([&] { return !counts.empty(); }));
  EXPECT_EQ(r.data, "ab");
  EXPECT_EQ(counts, std::vector<int32_t>{2});
  dev->injectBytes("g");  // the rest comes with the next batch
  ASSERT_TRUE(until([&] { return counts.size() == 2; }));
  EXPECT_EQ(r.data, "abcdefg");
}

TEST_F(FakePortTest, NoHandlerAfterClosePort) {
  port->SetDirectWrite(true);
  std::atomic<bool> closed{false};
  int late = 0, seen = 0;
  port->OnRxChar = [&](TVaCustomComm* s, int32_t) {
    if (closed) ++late;
    ++seen;
    s->ReadAll();
  };
  port->OpenPort();
  std::atomic<bool> stop{false};
  std::thread feeder([&] {
    while (!stop) dev->injectBytes("z");
  });
  ASSERT_TRUE(until([&] { return seen > 5; }));
  port->ClosePort();
  closed = true;
  loop->runFor(30ms);
  stop = true;
  feeder.join();
  EXPECT_EQ(late, 0);

  // A handler that closes its own port stops the rest of its batch.
  dev = std::make_shared<TVaFakeDevice>();
  port->SetMonitorEvents(kAll);
  int cts = 0;
  port->OnRxChar = [&](TVaCustomComm* s, int32_t) { s->ClosePort(); };
  port->OnCts = [&](TVaCustomComm*) { ++cts; };
  port->OpenPort();
  dev->inject("a", 0, ev::Cts);
  ASSERT_TRUE(until([&] { return !port->IsOpen(); }));
  loop->runFor(20ms);
  EXPECT_EQ(cts, 0);
}

TEST_F(FakePortTest, PendingHandOverRunsNothingAfterCloseOrDestruction) {
  port->SetDirectWrite(true);
  int fired = 0;
  port->OnRxChar = [&](TVaCustomComm*, int32_t) { ++fired; };
  port->OpenPort();
  ASSERT_TRUE(idle());
  dev->injectBytes("a");
  // The event thread is now blocked in its hand-over; the main loop has not run it.
  ASSERT_TRUE(handOverQueued());
  port->ClosePort();  // must not deadlock although the worker waits for us
  EXPECT_EQ(loop->pending(), 0u);
  loop->processPending();
  EXPECT_EQ(fired, 0);

  // Destroyed while its hand-over is pending and its thread still ending.
  dev = std::make_shared<TVaFakeDevice>();
  port->OpenPort();
  ASSERT_TRUE(idle());
  dev->injectBytes("b");
  ASSERT_TRUE(handOverQueued());
  port.reset();
  loop->processPending();
  EXPECT_EQ(fired, 0);
  EXPECT_TRUE(until([] { return runningCommThreads() == 0; }));
}

TEST_F(FakePortTest, FailingWaitIsRetried) {
  port->SetDirectWrite(true);
  int rx = 0;
  port->OnRxChar = [&](TVaCustomComm* s, int32_t) {
    ++rx;
    s->ReadAll();
  };
  port->OpenPort();
  ASSERT_TRUE(idle());
  dev->failNextWait(EINVAL, 3);
  dev->injectBytes("q");
  ASSERT_TRUE(until([&] { return rx == 1; }));
  EXPECT_TRUE(reports.empty());
}

TEST_F(FakePortTest, LostDeviceIsReportedOnceWithoutSpinning) {
  port->SetDirectWrite(true);
  port->OpenPort();
  ASSERT_TRUE(idle());
  long before = dev->waitCalls();
  dev->pullAway();
  ASSERT_TRUE(until([&] { return !reports.empty(); }));
  loop->runFor(50ms);
  EXPECT_EQ(reports, (std::vector<std::string>{"Device fake is no longer available (Error 5, Input/output error)"}));
  EXPECT_LE(dev->waitCalls() - before, 2);  // no retry loop
  EXPECT_TRUE(port->DeviceLost());
  EXPECT_TRUE(until([] { return runningCommThreads() == 0; }));
  port->ClosePort();
  EXPECT_FALSE(port->IsOpen());
  dev = std::make_shared<TVaFakeDevice>();  // the device is back
  port->OpenPort();
  EXPECT_FALSE(port->DeviceLost());
  EXPECT_TRUE(port->WriteString("ok"));
  EXPECT_EQ(dev->written(), "ok");
}
