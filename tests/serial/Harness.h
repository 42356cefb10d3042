#pragma once
// A port over a fake device, pumped by a main loop of the test's own.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "serial/VaComm.h"
#include "testing/FakeDevice.h"

namespace ostrel::serial::test {

using namespace std::chrono_literals;

struct FakePortTest : ::testing::Test {
  std::shared_ptr<TVaMainLoop> loop = std::make_shared<TVaMainLoop>();
  std::shared_ptr<TVaFakeDevice> dev = std::make_shared<TVaFakeDevice>();
  std::vector<std::string> opened;   // names the port asked for
  std::vector<std::string> reports;  // the application's error report
  std::unique_ptr<TVaComm> port = makePort();

  std::unique_ptr<TVaComm> makePort() {
    auto p = std::make_unique<TVaComm>();
    p->SetMainThreadSync(loop);
    p->SetDeviceOpener([this](const std::string& name, int& err) -> TVaDevicePtr {
      opened.push_back(name);
      if (name == "missing") {
        err = ENOENT;
        return nullptr;
      }
      if (name == "busy") {
        err = EBUSY;
        return nullptr;
      }
      dev->reopen();
      return dev;
    });
    p->ErrorReport = [this](const std::exception& e) { reports.push_back(e.what()); };
    p->SetDeviceName("fake");
    return p;
  }

  bool until(const std::function<bool()>& pred, std::chrono::milliseconds t = 3000ms) {
    return loop->runUntil(pred, t);
  }
  // Waits until the event thread sits in its device wait again (the batch is done).
  bool idle() {
    return until([&] { return dev->waiting() && loop->pending() == 0; });
  }
  // Waits, without pumping the loop, until a worker has queued a hand-over.
  bool handOverQueued(std::chrono::milliseconds t = 3000ms) {
    auto deadline = std::chrono::steady_clock::now() + t;
    while (loop->pending() == 0)
      if (std::chrono::steady_clock::now() > deadline)
        return false;
      else
        std::this_thread::sleep_for(100us);
    return true;
  }
  void TearDown() override { port.reset(); }
};

inline std::string raised(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "<nothing raised>";
}

}  // namespace ostrel::serial::test
