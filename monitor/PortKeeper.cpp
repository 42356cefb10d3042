#include "monitor/PortKeeper.h"

#include "cli/Exit.h"
#include "cli/PortReopen.h"
#include "monitor/Log.h"

namespace ostrel::monitor {

cli::CliPort* PortKeeper::get(std::string& why) {
  if (port_) return &*port_;
  if (cli::Clock::now() < nextTry_) {
    why = lastReason_;
    return nullptr;
  }
  try {
    port_.emplace(name_, line_, false);
  } catch (const cli::CliError& e) {
    why = e.what();
    failed(why);
    return nullptr;
  }
  if (!lastReason_.empty()) LogLine("port " + name_ + ": open again");
  lastReason_.clear();
  wait_ = std::chrono::seconds(1);
  return &*port_;
}

void PortKeeper::lost(const std::string& reason) {
  port_.reset();
  failed(reason);
}

void PortKeeper::failed(const std::string& reason) {
  if (reason != lastReason_)
    LogLine("port " + name_ + ": " + reason + "; trying again after a growing wait (up to " +
            std::to_string(cli::kLongestReopenWait.count()) + " s)");
  lastReason_ = reason;
  nextTry_ = cli::Clock::now() + wait_;
  wait_ = std::min(wait_ * 2, std::chrono::seconds(cli::kLongestReopenWait));
}

}  // namespace ostrel::monitor
