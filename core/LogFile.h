#pragma once
// The bytes of the log file "files/log.txt".
//
// The file is the pane's lines, each followed by CR LF, in Windows-1251.
// Every line the program appended thus ends in CR LF; a line the user typed
// or changed is saved with exactly the characters it shows (a line break the
// user typed starts a new line of the pane and so also ends in CR LF).
//
// The pane's lines are the QPlainTextEdit's blocks, with one exception: an
// empty document. Right after start the pane holds one empty line (saved as
// the bytes 13 10); once anything changed it (a line appended, "Clear log",
// the user deleting everything) an empty document holds no line at all
// (saved as zero bytes). So the window keeps one flag, "untouched since
// start", true at start and false after the first change of the document,
// and passes it with the text. The first line appended while the flag is set
// goes into a new block below the empty start line (QPlainTextEdit's
// appendPlainText would reuse the empty block), so the file then starts with
// that empty line, as the pane shows it. Later appends use appendPlainText.
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

inline constexpr const char* kLogFileNoRightsLine = "Can not write file, no rights...";

// lines: the pane's lines in UTF-8, top to bottom, without line ends. A line
// that itself ends in CR (some Modbus messages do) keeps it: "x\r" → "x\r\r\n".
std::string LogFileBytes(const std::vector<std::string>& lines);

// Adds to out the file's bytes for a run of the pane's lines given joined by "\n" (one block of
// the pane, say), so a long pane is saved piece by piece without a copy of it as a whole.
void AppendLogFileLines(std::string& out, std::string_view linesText);

// The pane's lines from its plain text (blocks joined by "\n", as
// QPlainTextEdit::toPlainText gives them): an empty text is one empty line
// while untouchedSinceStart, no line otherwise.
std::vector<std::string> LogPaneLines(std::string_view plainText, bool untouchedSinceStart);

}  // namespace ostrel
