#pragma once
// The serial ports' hand-over to the window's event loop: a port's worker
// thread posts one step to the main thread and waits until it has run, or
// until the port was closed, in which case the step never runs.
#include <condition_variable>
#include <memory>
#include <mutex>

#include "serial/VaSync.h"

namespace ostrel {

class QtMainThreadSync : public serial::TVaMainThreadSync {
 public:
  void runSync(const serial::TVaSyncTokenPtr& token, std::function<void()> step) override;
  void cancel(const serial::TVaSyncTokenPtr& token) override;

 private:
  // Shared with posted steps, which may run after this object is gone.
  struct Signal {
    std::mutex m;
    std::condition_variable cv;
  };
  std::shared_ptr<Signal> signal_ = std::make_shared<Signal>();
};

}  // namespace ostrel
