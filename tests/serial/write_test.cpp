#include "Harness.h"

using namespace ostrel::serial;
using namespace ostrel::serial::test;

TEST_F(FakePortTest, DirectWrites) {
  port->SetDirectWrite(true);
  port->OpenPort();
  EXPECT_TRUE(port->WriteByte(0x02));
  EXPECT_TRUE(
      port->WriteString(std::string("\0\x04"
                                    "AB",
                                    4)));
  EXPECT_TRUE(port->WriteString(""));
  EXPECT_EQ(dev->written(), std::string("\x02\0\x04"
                                        "AB",
                                        5));
  dev->refuseWrites(EIO);
  EXPECT_EQ(raised([&] { port->WriteByte(1); }), "Write error (5), Input/output error");
  dev->refuseWrites(0);
}

TEST_F(FakePortTest, DirectWriteWaitsForReadTimeoutNotWriteTimeout) {
  port->SetDirectWrite(true);
  port->OpenPort();
  dev->setWriteDelayMs(150);
  port->Buffers().SetWriteTimeout(1);  // no effect on direct writes
  port->Buffers().SetReadTimeout(2000);
  EXPECT_TRUE(port->WriteString("slow"));
  port->Buffers().SetWriteTimeout(5000);
  port->Buffers().SetReadTimeout(20);  // this one bounds the wait
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(port->WriteString("late"));
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 140ms);
}

struct QueuedTest : FakePortTest {
  int txEmpty = 0;
  void SetUp() override {
    port->OnTxEmpty = [this](TVaCustomComm*) { ++txEmpty; };
    port->OpenPort();
    ASSERT_EQ(dev->eventMask(), 0x0081u);  // the write thread reports an empty queue itself
  }
};

TEST_F(QueuedTest, DrainedQueueFiresOnTxEmptyOnce) {
  EXPECT_EQ(port->WriteBytes(reinterpret_cast<const uint8_t*>("hello"), 5), 5);
  ASSERT_TRUE(until([&] { return txEmpty == 1; }));
  loop->runFor(30ms);
  EXPECT_EQ(txEmpty, 1);
  EXPECT_EQ(dev->written(), "hello");
  EXPECT_EQ(port->OutputSpace(), 2048);
}

TEST_F(QueuedTest, QueueCapacityBounds) {
  dev->setWriteCapacity(0);  // the device takes nothing: the queue stays full
  port->Buffers().SetWriteTimeout(100);
  std::string full(2048, 'x');
  EXPECT_TRUE(port->WriteString(full));  // exactly the capacity fits at once
  until([&] { return false; }, 20ms);
  EXPECT_EQ(port->OutputSpace(), 0);
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(raised([&] { port->WriteByte(1); }), "Output buffer is full. Please check comm status.");
  EXPECT_GE(std::chrono::steady_clock::now() - t0, 100ms);
  dev->setWriteCapacity(static_cast<size_t>(-1));
  ASSERT_TRUE(until([&] { return txEmpty == 1; }));
  EXPECT_EQ(dev->written(), full);
  // Larger than the capacity never fits, even into an empty queue.
  EXPECT_EQ(raised([&] { port->WriteString(std::string(2049, 'y')); }),
            "Output buffer is full. Please check comm status.");
}

TEST_F(QueuedTest, PurgeFlagsDecideWhetherTheQueueIsEmptied) {
  dev->setWriteCapacity(0);
  auto queued = [&] { return 2048 - port->OutputSpace(); };
  EXPECT_TRUE(port->WriteString("abcdef"));
  port->PurgeBuffers(10);
  EXPECT_EQ(queued(), 6);
  port->PurgeBuffers(8);
  EXPECT_EQ(queued(), 0);
  EXPECT_TRUE(port->WriteString("ghi"));
  port->PurgeAll();
  EXPECT_EQ(queued(), 0);
  EXPECT_EQ(dev->purges(), (std::vector<uint32_t>{10, 8, 15}));

  // Bytes queued after a purge are all written, none lost to a write taken before it.
  dev->setWriteCapacity(static_cast<size_t>(-1));
  EXPECT_TRUE(port->WriteString("after"));
  ASSERT_TRUE(until([&] { return dev->written().find("after") != std::string::npos && queued() == 0; }));
  std::string w = dev->written();
  EXPECT_EQ(w.substr(w.size() - 5), "after");
}

TEST_F(QueuedTest, PurgeDuringSlowWritesKeepsLaterBytesIntact) {
  // Many purges racing a slow device: every byte queued after the last purge arrives, in order.
  dev->setWriteCapacity(3);
  std::thread drain([&] {
    for (int i = 0; i < 400; ++i) {
      dev->drainOutput();
      std::this_thread::sleep_for(50us);
    }
  });
  for (int i = 0; i < 20; ++i) {
    EXPECT_TRUE(port->WriteString("0123456789"));
    port->PurgeAll();
    EXPECT_EQ(port->OutputSpace(), 2048);
  }
  drain.join();
  size_t before = dev->written().size();
  dev->setWriteCapacity(static_cast<size_t>(-1));
  EXPECT_TRUE(port->WriteString("tail-bytes"));
  ASSERT_TRUE(until([&] { return dev->written().size() >= before + 10 && port->OutputSpace() == 2048; }));
  EXPECT_EQ(dev->written().substr(before), "tail-bytes");
}

TEST_F(QueuedTest, RefusedQueuedWriteReportsThroughTheErrorEvent) {
  int errors = 0;
  port->OnError = [&](TVaCustomComm*, int32_t e) { errors += e; };
  dev->refuseWrites(EAGAIN);
  dev->injectErrors(ce::Frame);  // pending flags the error event then finds
  EXPECT_TRUE(port->WriteString("x"));
  ASSERT_TRUE(until([&] { return errors > 0; }));
  dev->refuseWrites(0);
  ASSERT_TRUE(until([&] { return dev->written() == "x"; }));
}

TEST_F(QueuedTest, CloseWithBytesInFlightIsSafe) {
  dev->setWriteCapacity(0);
  EXPECT_TRUE(port->WriteString(std::string(1000, 'q')));
  port->ClosePort();
  port->OpenPort();
  EXPECT_EQ(port->OutputSpace(), 2048);  // a new, empty queue
  port.reset();
  EXPECT_TRUE(until([] { return runningCommThreads() == 0; }));
  EXPECT_EQ(txEmpty, 0);
}

// Bytes queued while the device takes earlier ones follow them, each byte once.
TEST_F(QueuedTest, BytesQueuedDuringAWriteFollowIt) {
  dev->setWriteCapacity(0);
  EXPECT_TRUE(port->WriteString("first"));
  ASSERT_TRUE(until([&] { return dev->writeCalls() >= 1; }));
  EXPECT_TRUE(port->WriteString("second"));
  dev->setWriteCapacity(static_cast<size_t>(-1));
  ASSERT_TRUE(until([&] { return port->OutputSpace() == 2048; }));
  EXPECT_EQ(dev->written(), "firstsecond");
}

// Closing drops the queue with its thread: a port reopened for direct writes has no queue
// left to wait for, only the line.
TEST_F(QueuedTest, ReopenedForDirectWritesWaitsForTheLineOnly) {
  dev->setWriteCapacity(0);
  EXPECT_TRUE(port->WriteString(std::string(1000, 'q')));
  port->ClosePort();
  port->SetDirectWrite(true);
  port->OpenPort();
  dev->setWriteCapacity(static_cast<size_t>(-1));
  port->Buffers().SetReadTimeout(200);
  EXPECT_TRUE(port->WriteString("direct"));
  dev->drainOutput();
  EXPECT_TRUE(port->WaitUntilSent());
  EXPECT_EQ(dev->written(), "direct");
}

TEST_F(QueuedTest, LostDeviceStopsBothThreadsWithOneReport) {
  ASSERT_TRUE(idle());
  dev->pullAway();
  EXPECT_TRUE(port->WriteString("gone"));  // queued; the device write then fails
  ASSERT_TRUE(until([&] { return !reports.empty(); }));
  loop->runFor(50ms);
  EXPECT_EQ(reports.size(), 1u);
  EXPECT_EQ(txEmpty, 0);
  port->ClosePort();
  EXPECT_TRUE(until([] { return runningCommThreads() == 0; }));
}

// The purge comes after the write thread took the queue's bytes but before its device write
// began: the abort must still reach that write, or the purge waits in vain and the queue
// keeps its bytes.
TEST_F(QueuedTest, PurgeBeforeTheDeviceWriteBeginsStillEmptiesTheQueue) {
  dev->setWriteCapacity(0);  // a full line: a write that begins never ends by itself
  dev->holdNextWriteStart();
  EXPECT_TRUE(port->WriteString("request"));
  auto deadline = std::chrono::steady_clock::now() + 3s;
  while (!dev->writeStartHeld() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(100us);
  ASSERT_TRUE(dev->writeStartHeld());
  // The write begins only once the purge has asked the device to abort.
  std::thread starter([&] {
    auto deadline = std::chrono::steady_clock::now() + 3s;
    while (dev->interruptCalls() == 0 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(100us);
    dev->releaseWriteStart();
  });
  port->PurgeAll();
  starter.join();
  EXPECT_EQ(port->OutputSpace(), 2048);
  EXPECT_EQ(dev->written(), "");

  // The next bytes go out whole.
  dev->setWriteCapacity(static_cast<size_t>(-1));
  EXPECT_TRUE(port->WriteString("next"));
  ASSERT_TRUE(until([&] { return dev->written().size() >= 4 && port->OutputSpace() == 2048; }));
  EXPECT_EQ(dev->written(), "next");
}

// A device that keeps refusing a queued write (not a lost device): one report per failure,
// retries at a falling pace, and the bytes go out once it accepts them again.
TEST_F(QueuedTest, ARefusedWriteIsReportedOncePerFailureAndRetried) {
  struct ErrorEvents : TVaCommReceiver {
    int count = 0;
    void TakeData(const uint8_t*, int32_t) override {}
    void TakeEvents(uint32_t mask) override { count += (mask & ev::Err) ? 1 : 0; }
  } reports;
  port->AttachReceiver(&reports);
  dev->refuseWrites(EPERM);
  EXPECT_TRUE(port->WriteString("x"));
  ASSERT_TRUE(until([&] { return dev->writeCalls() >= 4; }));
  loop->processPending();
  EXPECT_EQ(reports.count, 1);
  dev->refuseWrites(0);
  ASSERT_TRUE(until([&] { return dev->written() == "x"; }));

  // A new failure after a write went through is reported again.
  dev->refuseWrites(EPERM);
  long calls = dev->writeCalls();
  EXPECT_TRUE(port->WriteString("y"));
  ASSERT_TRUE(until([&] { return dev->writeCalls() >= calls + 3; }));
  loop->processPending();
  EXPECT_EQ(reports.count, 2);
  dev->refuseWrites(0);
  ASSERT_TRUE(until([&] { return dev->written() == "xy"; }));
  port->DetachReceiver(&reports);
}

// Waiting for the line: bytes the device took but has not yet sent keep the wait going; a
// line that sends nothing ends it after the read time-out.
TEST_F(FakePortTest, WaitUntilSentWaitsForTheLineNotTheHandOver) {
  EXPECT_FALSE(port->WaitUntilSent());  // closed
  port->SetDirectWrite(true);
  port->OpenPort();
  dev->setWriteCapacity(1000);  // taken bytes stay unsent until the test drains them
  EXPECT_TRUE(port->WriteString("request"));
  std::thread wire([&] {
    auto deadline = std::chrono::steady_clock::now() + 3s;
    while (!dev->sendWaiting() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(100us);
    dev->drainOutput();
  });
  EXPECT_TRUE(port->WaitUntilSent());
  wire.join();
  EXPECT_EQ(port->OutputSpace(), 2048);

  port->Buffers().SetReadTimeout(30);
  EXPECT_TRUE(port->WriteString("stuck"));
  EXPECT_FALSE(port->WaitUntilSent());
}

TEST_F(QueuedTest, WaitUntilSentEmptiesTheQueueFirst) {
  dev->setWriteCapacity(2);  // two bytes on the wire at a time
  std::atomic<bool> done{false};
  std::thread wire([&] {
    while (!done) {
      dev->drainOutput();
      std::this_thread::sleep_for(200us);
    }
  });
  EXPECT_TRUE(port->WriteString("0123456789"));
  EXPECT_TRUE(port->WaitUntilSent());
  EXPECT_EQ(dev->written(), "0123456789");
  done = true;
  wire.join();
}
