// The window's hand-over (posted to the Qt event loop) keeps the hand-over's promise: a step
// that has started runs to its end before its worker goes on, even when it closes the port.
#include <QCoreApplication>

#include "QtMainThreadSync.h"
#include "handover_cases.h"

namespace ostrel::serial::test {
namespace {

bool qtPump(const std::function<bool()>& pred, std::chrono::milliseconds time) {
  const auto end = std::chrono::steady_clock::now() + time;
  while (!pred()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

TEST(QtHandOver, AStartedStepThatClosesThePortRunsToItsEndFirst) {
  auto sync = std::make_shared<QtMainThreadSync>();
  ExpectAStartedStepToRunToItsEnd(*sync, qtPump);
  ExpectAPortClosedFromItsOwnStepToEndCleanly(sync, qtPump);
}

}  // namespace
}  // namespace ostrel::serial::test
