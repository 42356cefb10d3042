#include "core/LogFile.h"

#include "common/cp1251.h"

namespace ostrel {

std::string LogFileBytes(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) AppendLogFileLines(out, line);
  return out;
}

void AppendLogFileLines(std::string& out, std::string_view linesText) {
  for (std::size_t start = 0;;) {
    const std::size_t nl = linesText.find('\n', start);
    out += utf8ToCp1251(linesText.substr(start, nl - start));
    out += "\r\n";
    if (nl == std::string_view::npos) return;
    start = nl + 1;
  }
}

std::vector<std::string> LogPaneLines(std::string_view plainText, bool untouchedSinceStart) {
  std::vector<std::string> lines;
  if (plainText.empty() && !untouchedSinceStart) return lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t nl = plainText.find('\n', start);
    if (nl == std::string_view::npos) {
      lines.emplace_back(plainText.substr(start));
      return lines;
    }
    lines.emplace_back(plainText.substr(start, nl - start));
    start = nl + 1;
  }
}

}  // namespace ostrel
