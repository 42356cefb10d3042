// The system's serial device over two linked ports, through the device interface alone: the
// same tests run on every platform the port is built for.
#include <atomic>

#include "DeviceHarness.h"

using namespace ostrel::serial;
using namespace ostrel::serial::test;

namespace {
// More than every buffer between the two ports holds: a write of it blocks until the far end
// reads.
const std::string& blockingBlock() {
  static const std::string block = pattern(1 << 20, 5);
  return block;
}
}  // namespace

TEST_F(DevicePairTest, BytesGoBothWaysInOrder) {
  const std::string toB = pattern(256, 1), toA = pattern(300, 2);
  EXPECT_EQ(send(*a, toB), toB.size());
  EXPECT_EQ(send(*b, toA), toA.size());
  std::string atB = receive(*b, toB.size()), atA = receive(*a, toA.size());
  EXPECT_TRUE(atB == toB) << firstDifference(atB, toB);
  EXPECT_TRUE(atA == toA) << firstDifference(atA, toA);
  EXPECT_EQ(a->waitUntilSent(1000), 0);
}

TEST_F(DevicePairTest, LargeBlocksCrossBothWaysAtOnceWhole) {
  const std::string toB = pattern(64 * 1024, 3), toA = pattern(64 * 1024, 4);
  auto wroteToB = writeOnAnotherThread(*a, toB);
  auto wroteToA = writeOnAnotherThread(*b, toA);
  std::string atB, atA;
  const bool all =
      eventually([&] { return takeArrived(*b, atB, toB.size()) & takeArrived(*a, atA, toA.size()); }, 20000ms);
  ASSERT_TRUE(finishes(wroteToB) && finishes(wroteToA));
  EXPECT_TRUE(all);
  EXPECT_EQ(wroteToB.get().written, toB.size());
  EXPECT_EQ(wroteToA.get().written, toA.size());
  EXPECT_TRUE(atB == toB) << firstDifference(atB, toB);
  EXPECT_TRUE(atA == toA) << firstDifference(atA, toA);
}

TEST_F(DevicePairTest, ArrivingBytesRaiseRxChar) {
  auto waited = waitOnAnotherThread(*b);
  send(*a, "ping");
  ASSERT_TRUE(finishes(waited));
  const Waited w = waited.get();
  EXPECT_EQ(w.err, 0);
  EXPECT_TRUE(w.events & ev::RxChar) << w.events;
  EXPECT_EQ(receive(*b, 4), "ping");
}

TEST_F(DevicePairTest, AFinishedWriteRaisesTxEmpty) {
  ASSERT_EQ(a->setEventMask(ev::TxEmpty), 0);
  auto waited = waitOnAnotherThread(*a);
  send(*a, "pong");
  ASSERT_TRUE(finishes(waited));
  const Waited w = waited.get();
  EXPECT_EQ(w.err, 0);
  EXPECT_EQ(w.events, ev::TxEmpty);
  EXPECT_EQ(receive(*b, 4), "pong");
}

TEST_F(DevicePairTest, CancelWaitEndsThePendingWaitOrElseTheNextOne) {
  uint32_t events = 0;
  a->cancelWait();
  EXPECT_EQ(a->waitEvent(events), ECANCELED);
  auto waited = waitOnAnotherThread(*a);
  std::this_thread::sleep_for(50ms);  // lets the wait begin; a cancel just before it ends it too
  a->cancelWait();
  ASSERT_TRUE(finishes(waited));
  EXPECT_EQ(waited.get().err, ECANCELED);
  // The cancel is spent: the next wait reports the next event.
  auto next = waitOnAnotherThread(*a);
  send(*b, "x");
  ASSERT_TRUE(finishes(next));
  const Waited w = next.get();
  EXPECT_EQ(w.err, 0);
  EXPECT_TRUE(w.events & ev::RxChar) << w.events;
  EXPECT_EQ(receive(*a, 1), "x");
}

TEST_F(DevicePairTest, CloseFromAnotherThreadEndsTheWaitAndTheWrite) {
  ASSERT_EQ(a->setEventMask(ev::RxChar), 0);
  const std::string& block = blockingBlock();
  auto waited = waitOnAnotherThread(*a);
  auto wrote = writeOnAnotherThread(*a, block);
  ASSERT_TRUE(eventually([&] { return inputQueued(*b) > 0; }));  // the write is under way
  a->close();
  ASSERT_TRUE(finishes(waited) && finishes(wrote));
  const Waited waitedFor = waited.get();
  EXPECT_EQ(waitedFor.err, EBADF) << "events " << waitedFor.events;
  const Wrote w = wrote.get();
  EXPECT_EQ(w.err, 0);
  EXPECT_LT(w.written, block.size());
  // The count is what went out: exactly those bytes arrive.
  const std::string atB = receive(*b, w.written);
  EXPECT_TRUE(atB == block.substr(0, w.written)) << firstDifference(atB, block.substr(0, w.written));
}

TEST_F(DevicePairTest, EveryCallAfterCloseAnswersEbadf) {
  a->close();
  uint32_t value = 0;
  TVaComStat stat;
  uint8_t buf[4] = {1, 2, 3, 4};
  size_t count = 0;
  EXPECT_EQ(a->applyLineConfiguration(plainLine()), EBADF);
  EXPECT_EQ(a->setQueueSizes(4096, 2048), EBADF);
  EXPECT_EQ(a->setNonBlockingTimeouts(), EBADF);
  EXPECT_EQ(a->setEventMask(ev::RxChar), EBADF);
  EXPECT_EQ(a->waitEvent(value), EBADF);
  EXPECT_EQ(a->read(buf, sizeof buf, count), EBADF);
  EXPECT_EQ(a->write(buf, sizeof buf, 100, count), EBADF);
  EXPECT_EQ(a->waitUntilSent(100), EBADF);
  EXPECT_EQ(a->clearError(value, stat), EBADF);
  EXPECT_EQ(a->purge(purge::RxClear), EBADF);
  EXPECT_EQ(a->escape(esc::SetRts), EBADF);
  a->cancelWait();
  a->interruptWrite();
  a->close();
  // The close gave the device back.
  a = openConfigured(ports.a);
  EXPECT_TRUE(a);
}

TEST_F(DevicePairTest, InterruptWriteEndsOnlyTheWriteInProgress) {
  a->interruptWrite();  // nothing in progress: the next write goes out whole
  EXPECT_EQ(send(*a, "first"), 5u);
  EXPECT_EQ(receive(*b, 5), "first");
  const std::atomic<bool> abort{true};
  size_t written = 9;
  EXPECT_EQ(a->write(reinterpret_cast<const uint8_t*>("no"), 2, -1, written, &abort), 0);
  EXPECT_EQ(written, 0u) << "an abort raised before the write stops it before its first byte";

  const std::string& block = blockingBlock();
  auto wrote = writeOnAnotherThread(*a, block);
  const bool ended = eventually([&] {
    a->interruptWrite();
    return wrote.wait_for(0s) == std::future_status::ready;
  });
  ASSERT_TRUE(ended && finishes(wrote));
  const Wrote w = wrote.get();
  EXPECT_EQ(w.err, 0);
  EXPECT_LT(w.written, block.size());
  const std::string atB = receive(*b, w.written);
  EXPECT_TRUE(atB == block.substr(0, w.written)) << firstDifference(atB, block.substr(0, w.written));
  EXPECT_EQ(send(*a, "after"), 5u);
  EXPECT_EQ(receive(*b, 5), "after");
}

TEST_F(DevicePairTest, AWriteWhoseTimeRunsOutCountsWhatWentOut) {
  const std::string& block = blockingBlock();
  size_t written = 0;
  EXPECT_EQ(a->write(reinterpret_cast<const uint8_t*>(block.data()), block.size(), 200, written), 0);
  EXPECT_LT(written, block.size());
  const std::string atB = receive(*b, written);
  EXPECT_TRUE(atB == block.substr(0, written)) << firstDifference(atB, block.substr(0, written));
  EXPECT_EQ(send(*a, "after"), 5u);
  EXPECT_EQ(receive(*b, 5), "after");
}

TEST_F(DevicePairTest, PurgeDropsTheReceivedBytesClearErrorCounted) {
  send(*b, "abcdef");
  ASSERT_TRUE(eventually([&] { return inputQueued(*a) == 6; })) << inputQueued(*a);
  EXPECT_EQ(a->purge(purge::RxAbort | purge::RxClear), 0);
  EXPECT_EQ(inputQueued(*a), 0u);
  uint8_t buf[8];
  size_t got = 9;
  EXPECT_EQ(a->read(buf, sizeof buf, got), 0);
  EXPECT_EQ(got, 0u);
  send(*b, "g");
  EXPECT_EQ(receive(*a, 1), "g");
}

// While the event character is watched, input passes a read-ahead: a purge empties it too.
TEST_F(DevicePairTest, PurgeDropsTheBytesReadAhead) {
  ASSERT_EQ(a->setEventMask(ev::RxChar | ev::RxFlag), 0);
  send(*b, "abcdef");
  ASSERT_TRUE(eventually([&] { return inputQueued(*a) == 6; })) << inputQueued(*a);
  EXPECT_EQ(receive(*a, 2), "ab");  // the rest now waits in the read-ahead
  EXPECT_EQ(a->purge(purge::RxAbort | purge::RxClear), 0);
  EXPECT_EQ(inputQueued(*a), 0u);
  send(*b, "g");
  EXPECT_EQ(receive(*a, 1), "g");
}

TEST_F(DevicePairTest, RtsAndDtrEscapesSucceed) {
  for (uint32_t code : {esc::SetRts, esc::ClrRts, esc::SetDtr, esc::ClrDtr}) EXPECT_EQ(a->escape(code), 0) << code;
}

TEST_F(DevicePairTest, ALineTheFrameCannotCarryIsRefused) {
  TVaDcb line = plainLine();
  line.StopBits = 1;  // one and a half stop bits exist only with five data bits
  EXPECT_EQ(a->applyLineConfiguration(line), EINVAL);
  line.StopBits = 2;
  EXPECT_EQ(a->applyLineConfiguration(line), 0);
}

TEST_F(DevicePairTest, ASecondOpenOfAnOpenPortIsRefused) {
  if (const std::string why = SecondOpenUncheckable(); !why.empty()) GTEST_SKIP() << why;
  int err = 0;
  EXPECT_FALSE(OpenSystemDevice(ports.a, err));
  EXPECT_EQ(err, EBUSY);
}

TEST(SystemDevice, AMissingDeviceAnswersEnoent) {
  int err = 0;
  EXPECT_FALSE(OpenSystemDevice(MissingPortName(), err));
  EXPECT_EQ(err, ENOENT);
}
