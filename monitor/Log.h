#pragma once
// The monitor's own lines on standard error, one whole line at a time from any thread (under
// systemd they go to the journal, which adds the time).
#include <string>

namespace ostrel::monitor {

void LogLine(const std::string& text);

}  // namespace ostrel::monitor
