#pragma once
// The serial ports' hand-over to the window's event loop: a port's worker thread posts one step
// to the main thread and waits until it has run, or until the port was closed before it
// started, in which case the step never runs. A step that has started runs to its end before its
// worker goes on (see TVaMainThreadSync).
#include <memory>

#include "serial/VaSync.h"

namespace ostrel {

class QtMainThreadSync : public serial::TVaMainThreadSync {
 public:
  void runSync(const serial::TVaSyncTokenPtr& token, std::function<void()> step) override;
  void cancel(const serial::TVaSyncTokenPtr& token) override;

 private:
  // Shared with posted steps, which may run after this object is gone.
  std::shared_ptr<serial::TVaHandOvers> handOvers_ = std::make_shared<serial::TVaHandOvers>();
};

}  // namespace ostrel
