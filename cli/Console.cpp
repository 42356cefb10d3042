#include "cli/Console.h"

#include "cli/Records.h"
#include "cli/System.h"
#include "common/Text.h"

namespace ostrel::cli {

std::string OneLine(std::string text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

Console::Console(bool quiet, bool verbose) : quiet_(quiet), verbose_(verbose), tty_(IsTerminal(kStandardError)) {}

void Console::line(const std::string& text) {
  endProgress();
  WriteRecord(kStandardError, OneLine(text) + "\n");
}

void Console::traffic(const std::string& text) {
  if (verbose_) line(text);
}

void Console::note(const std::string& text) {
  if (!quiet_) line("ostrel-cli: " + text);
}

void Console::error(const std::string& text) { line("ostrel-cli: error: " + text); }

void Console::warning(const std::string& text) { line("ostrel-cli: warning: " + text); }

void Console::progress(const std::string& text) {
  if (!tty_ || quiet_) return;
  // \r to the start, the text, then clear the rest of the old line. The text stays within the
  // terminal's width, leaving its last column free: a line that wrapped could not be redrawn
  // in place, and every update would leave a line behind.
  std::string shown = text;
  const int columns = TerminalColumns(kStandardError);
  if (columns > 1 && Utf8Length(shown) > static_cast<size_t>(columns - 1)) shown = Utf8Prefix(shown, columns - 2) + "~";
  WriteRecord(kStandardError, "\r" + shown + "\x1b[K");
  progressShown_ = true;
}

void Console::endProgress() {
  if (!progressShown_) return;
  WriteRecord(kStandardError, "\r\x1b[K");
  progressShown_ = false;
}

}  // namespace ostrel::cli
