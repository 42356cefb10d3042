#include "monitor/Log.h"

#include <mutex>

#include "cli/Console.h"
#include "cli/Records.h"

namespace ostrel::monitor {

void LogLine(const std::string& text) {
  static std::mutex m;
  const std::lock_guard<std::mutex> hold(m);
  cli::WriteRecord(cli::kStandardError, cli::OneLine(text) + "\n");
}

}  // namespace ostrel::monitor
