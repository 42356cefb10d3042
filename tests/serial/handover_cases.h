#pragma once
// What every main-thread hand-over must keep, written once and run against each: the loop of
// the component's own (serial tests, also under ThreadSanitizer) and the window's (app tests).
// `pump(pred, timeout)` runs the implementation's main loop until pred() holds.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "serial/VaComm.h"
#include "serial/VaCommThreads.h"
#include "testing/FakeDevice.h"

namespace ostrel::serial::test {

using Pump = std::function<bool(const std::function<bool()>&, std::chrono::milliseconds)>;

// Watches `flag` for up to `time` from inside a step; true when it was raised meanwhile.
inline bool raisedWithin(const std::atomic<bool>& flag, std::chrono::milliseconds time) {
  const auto end = std::chrono::steady_clock::now() + time;
  while (!flag.load() && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return flag.load();
}

// A step that closes the port (invalidates the token and cancels) is running: its worker waits
// until it has ended, so what the step's closure refers to stays alive.
inline void ExpectAStartedStepToRunToItsEnd(TVaMainThreadSync& sync, const Pump& pump) {
  auto token = std::make_shared<TVaSyncToken>();
  std::atomic<bool> returned{false}, stepEnded{false};
  bool workerLeftEarly = true;
  std::thread worker([&] {
    sync.runSync(token, [&] {
      token->invalidate();
      sync.cancel(token);
      workerLeftEarly = raisedWithin(returned, std::chrono::milliseconds(200));
      stepEnded = true;
    });
    returned = true;
  });
  const bool back = pump([&] { return returned.load(); }, std::chrono::seconds(5));
  worker.join();
  EXPECT_TRUE(back);
  EXPECT_TRUE(stepEnded.load());
  EXPECT_FALSE(workerLeftEarly) << "the worker went on while its step was still running";
}

// A port closed from inside its own event handler: the handler runs to its end with its port
// thread still waiting, and afterwards the thread ends and nothing is left behind.
inline void ExpectAPortClosedFromItsOwnStepToEndCleanly(const std::shared_ptr<TVaMainThreadSync>& sync,
                                                        const Pump& pump) {
  auto device = std::make_shared<TVaFakeDevice>();
  auto port = std::make_unique<TVaComm>();
  port->SetMainThreadSync(sync);
  port->SetDirectWrite(true);  // the event thread only
  port->SetDeviceOpener([device](const std::string&, int&) -> TVaDevicePtr {
    device->reopen();
    return device;
  });
  port->SetDeviceName("fake");
  int handled = 0;
  bool threadEndedInside = true;
  port->OnRxChar = [&](TVaCustomComm* p, int32_t) {
    ++handled;
    const int running = runningCommThreads();
    p->ClosePort();
    std::atomic<bool> ended{false};
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    while (!ended && std::chrono::steady_clock::now() < end) {
      ended = runningCommThreads() < running;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    threadEndedInside = ended;
  };
  port->OpenPort();
  device->injectBytes("x");
  EXPECT_TRUE(pump([&] { return handled == 1; }, std::chrono::seconds(5)));
  EXPECT_FALSE(port->IsOpen());
  EXPECT_FALSE(threadEndedInside) << "the port thread ended while its step was still running";
  port.reset();
  EXPECT_TRUE(WaitForCommThreads(std::chrono::seconds(5)));
  EXPECT_EQ(handled, 1);
}

}  // namespace ostrel::serial::test
