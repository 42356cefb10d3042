#pragma once
// The bytes of the log file "files/log.txt".
//
// The file is the pane's lines, each followed by CR LF, in Windows-1251.
// Every line the program appended thus ends in CR LF; a line the user typed
// or changed is saved with exactly the characters it shows (a line break the
// user typed starts a new line of the pane and so also ends in CR LF).
//
// The pane knows two states that look alike: right after start it holds one
// empty line (saved as the bytes 13 10); after "Clear log" it holds no line
// at all (saved as zero bytes). A QPlainTextEdit shows both as one empty
// block, so the window keeps a flag "holds no line", set by "Clear log" and
// cleared by the next appended line or user edit, and passes it here. For
// the same reason the first line appended after start goes below the empty
// start line, while the first one appended after "Clear log" becomes line 1.
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

inline constexpr const char* kLogFileNoRightsLine = "Can not write file, no rights...";

// lines: the pane's lines in UTF-8, top to bottom, without line ends. A line
// that itself ends in CR (some Modbus messages do) keeps it: "x\r" → "x\r\r\n".
std::string LogFileBytes(const std::vector<std::string>& lines);

// The pane's lines from its plain text (blocks joined by "\n", as
// QPlainTextEdit::toPlainText gives them). holdsNoLine gives no line at all.
std::vector<std::string> LogPaneLines(std::string_view plainText, bool holdsNoLine);

}  // namespace ostrel
