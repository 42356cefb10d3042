#pragma once
// How the log pane keeps its lines in blocks of its text document.
//
// Every block of a text document costs some hundreds of bytes of layout and format, whatever
// it holds, and the pane keeps every line for as long as the program runs. So appended lines
// share blocks: up to kLogLinesPerBlock lines, joined by the line separator U+2028, which the
// pane shows as a line break and copies and saves as one. A block stays short enough to lay
// out again at each append to it.
//
// A block cannot hold a carriage return (the editor would start a new block at it), so the
// carriage returns that end an appended line are counted in the block's state instead, and such
// a line has a block of its own: the count stays with that line when the user splits or joins
// other lines, as the editor keeps a block's state with the block.
#include <cstddef>
#include <string>
#include <string_view>

namespace ostrel {

inline constexpr char16_t kLogLineSeparator = u'\u2028';
inline constexpr int kLogLinesPerBlock = 16;
inline constexpr std::size_t kLogBlockMaxChars = 4096;

// The last block of the pane, as the next append sees it.
struct LogBlockShape {
  int lines = 1;          // its line separators plus one
  std::size_t chars = 0;  // its length in UTF-16 code units
  int trailingCrs = 0;    // carriage returns counted after its last line
};

// True when a line of lineChars UTF-16 code units, followed by lineCrs carriage returns, goes
// into the block after a separator; false when it starts a new block.
bool LogLineJoinsBlock(const LogBlockShape& block, std::size_t lineChars, int lineCrs);

// The pane's text of one block in UTF-8: each line separator becomes "\n", and the block's
// counted carriage returns follow its last line.
std::string LogBlockPlainText(std::string_view utf8Block, int trailingCrs);

}  // namespace ostrel
