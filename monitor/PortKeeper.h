#pragma once
// One port of the monitor, kept open: opened when first needed, and after a loss opened again
// after 1 s, 2 s, 4 s ... up to 30 s, each failure said once per reason.
#include <functional>
#include <optional>
#include <string>

#include "cli/CliPort.h"

namespace ostrel::monitor {

class PortKeeper {
 public:
  PortKeeper(std::string name, cli::LineSettings line) : name_(std::move(name)), line_(line) {}

  const std::string& name() const { return name_; }
  // The open port, or nullptr when it cannot be opened now (the reason is in `why`); tries
  // again only when the wait since the last try has passed.
  cli::CliPort* get(std::string& why);
  // The port failed: it is closed and the next try waits.
  void lost(const std::string& reason);
  // When the next try is due (now when the port is open).
  cli::Clock::time_point nextTry() const { return nextTry_; }

 private:
  void failed(const std::string& reason);

  std::string name_;
  cli::LineSettings line_;
  std::optional<cli::CliPort> port_;
  cli::Clock::time_point nextTry_{};
  std::chrono::seconds wait_{1};
  std::string lastReason_;
};

}  // namespace ostrel::monitor
