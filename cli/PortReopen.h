#pragma once
// A lost port opened again: tries after 1 s, 2 s, 4 s ... up to 30 s between
// tries, until it opens, the user interrupts, or the run's time is up.
#include <optional>
#include <string>

#include "cli/CliPort.h"
#include "cli/Console.h"

namespace ostrel::cli {

enum class Reopen { Back, Interrupted, TimeUp };

// The longest wait between two tries.
inline constexpr std::chrono::seconds kLongestReopenWait{30};

// Leaves the open port in `port` on Back. Throws the CliError of a name that
// no longer locates a port at all (a usage error).
Reopen ReopenPort(std::optional<CliPort>& port, const std::string& name, const LineSettings& line, bool force,
                  Console& console, std::optional<Clock::time_point> until);

// Sleeps until the deadline; false when the user interrupted first.
bool SleepUntil(Clock::time_point deadline);

}  // namespace ostrel::cli
