#include "core/LogBlocks.h"

namespace ostrel {

namespace {
constexpr std::string_view kSeparatorUtf8 = "\xE2\x80\xA8";
}

bool LogLineJoinsBlock(const LogBlockShape& block, std::size_t lineChars, int lineCrs) {
  return block.trailingCrs == 0 && lineCrs == 0 && block.lines < kLogLinesPerBlock &&
         block.chars + 1 + lineChars <= kLogBlockMaxChars;
}

std::string LogBlockPlainText(std::string_view utf8Block, int trailingCrs) {
  std::string text;
  text.reserve(utf8Block.size() + static_cast<std::size_t>(trailingCrs > 0 ? trailingCrs : 0));
  for (std::size_t start = 0;;) {
    const std::size_t sep = utf8Block.find(kSeparatorUtf8, start);
    text.append(utf8Block.substr(start, sep - start));
    if (sep == std::string_view::npos) break;
    text += '\n';
    start = sep + kSeparatorUtf8.size();
  }
  if (trailingCrs > 0) text.append(static_cast<std::size_t>(trailingCrs), '\r');
  return text;
}

}  // namespace ostrel
