// The test main loop's hand-over: a worker blocked in runSync comes back when the main thread
// runs its step, and also when the port's token is cancelled, however the two interleave.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "handover_cases.h"
#include "serial/VaSync.h"

namespace ostrel::serial::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

bool returnsWithin(const std::atomic<bool>& flag, std::chrono::milliseconds t) {
  const auto deadline = Clock::now() + t;
  while (!flag.load()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

TEST(MainLoopHandOver, StepRunsOnTheMainThreadAndReleasesTheWorker) {
  auto loop = std::make_shared<TVaMainLoop>();
  auto token = std::make_shared<TVaSyncToken>();
  std::thread::id ranOn;
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    loop->runSync(token, [&] { ranOn = std::this_thread::get_id(); });
    returned = true;
  });
  EXPECT_TRUE(loop->runUntil([&] { return returned.load(); }, 5s));
  worker.join();
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_EQ(loop->pending(), 0u);
}

TEST(MainLoopHandOver, CancelReleasesAQueuedHandOverWithoutRunningIt) {
  auto loop = std::make_shared<TVaMainLoop>();
  auto token = std::make_shared<TVaSyncToken>();
  std::atomic<bool> ran{false}, returned{false};
  std::thread worker([&] {
    loop->runSync(token, [&] { ran = true; });
    returned = true;
  });
  const auto deadline = Clock::now() + 5s;
  while (loop->pending() == 0 && Clock::now() < deadline) std::this_thread::yield();
  ASSERT_EQ(loop->pending(), 1u);
  token->invalidate();
  loop->cancel(token);
  const bool back = returnsWithin(returned, 5s);
  if (!back) loop->processPending();  // release the worker so the test can end
  worker.join();
  EXPECT_TRUE(back);
  loop->processPending();
  EXPECT_FALSE(ran);
  EXPECT_EQ(loop->pending(), 0u);
}

// The close path invalidates the token and cancels while a worker may be between deciding to
// hand over and queueing the step. Nobody pumps the loop afterwards, so a step queued after the
// cancel would keep its worker waiting for ever. Many rounds make the narrow window show.
TEST(MainLoopHandOver, CancelRacingAHandOverNeverStrandsTheWorker) {
  auto loop = std::make_shared<TVaMainLoop>();
  constexpr int kRounds = 5000;
  int stranded = 0, round = 0;
  for (; round < kRounds && stranded == 0; ++round) {
    auto token = std::make_shared<TVaSyncToken>();
    std::atomic<bool> started{false}, returned{false};
    std::thread worker([&] {
      started = true;
      loop->runSync(token, [] {});
      returned = true;
    });
    while (!started.load()) std::this_thread::yield();
    token->invalidate();
    loop->cancel(token);
    if (!returnsWithin(returned, 2s)) {
      ++stranded;
      loop->processPending();  // drops the stale step and lets the worker end
    }
    worker.join();
  }
  EXPECT_EQ(stranded, 0) << "a worker was left waiting after round " << round;
  EXPECT_EQ(loop->pending(), 0u);
}

Pump loopPump(TVaMainLoop& loop) {
  return [&loop](const std::function<bool()>& pred, std::chrono::milliseconds t) { return loop.runUntil(pred, t); };
}

TEST(MainLoopHandOver, AStartedStepThatClosesThePortRunsToItsEndFirst) {
  auto loop = std::make_shared<TVaMainLoop>();
  ExpectAStartedStepToRunToItsEnd(*loop, loopPump(*loop));
  ExpectAPortClosedFromItsOwnStepToEndCleanly(loop, loopPump(*loop));
}

}  // namespace
}  // namespace ostrel::serial::test
