#include "cli/PortReopen.h"

#include <algorithm>
#include <thread>

#include "cli/Exit.h"
#include "cli/Interrupt.h"

namespace ostrel::cli {

bool SleepUntil(Clock::time_point deadline) {
  // Short steps, so Ctrl+C is seen within a twentieth of a second.
  while (!Interrupted()) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return true;
    std::this_thread::sleep_for(std::min<Clock::duration>(left, std::chrono::milliseconds(50)));
  }
  return false;
}

Reopen ReopenPort(std::optional<CliPort>& port, const std::string& name, const LineSettings& line, bool force,
                  Console& console, std::optional<Clock::time_point> until) {
  port.reset();
  std::chrono::seconds wait{1};
  for (;;) {
    const auto next = Clock::now() + wait;
    if (until && next >= *until) return SleepUntil(*until) ? Reopen::TimeUp : Reopen::Interrupted;
    if (!SleepUntil(next)) return Reopen::Interrupted;
    try {
      port.emplace(name, line, force);
      return Reopen::Back;
    } catch (const CliError& e) {
      if (e.code() != kExitPort) throw;
      wait = std::min(wait * 2, kLongestReopenWait);
      console.note("next try in " + std::to_string(wait.count()) + " s: " + e.what());
    }
  }
}

}  // namespace ostrel::cli
