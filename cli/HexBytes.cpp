#include "cli/HexBytes.h"

#include <cctype>
#include <sstream>

#include "cli/Exit.h"
#include "common/Text.h"
#include "core/CustomCommand.h"

namespace ostrel::cli {

std::string HexBytesArgument(const std::string& option, const std::string& text) {
  std::istringstream words(text);
  std::string token, upper;
  while (words >> token) {
    bool digits = token.size() <= 2;
    for (char c : token) digits = digits && std::isxdigit(static_cast<unsigned char>(c));
    if (!digits)
      throw UsageError(option + ": \"" + token +
                       "\" is not one byte; give each byte as one or two hex digits, separated by blanks");
    upper += AsciiUpper(token);
    upper += ' ';
  }
  // The window's parser on the checked, upper-case text: one token of one
  // digit alone is still its "2 symbols at least".
  if (!upper.empty()) upper.pop_back();
  const CustomHexCommand parsed = ParseCustomHex(upper);
  if (!parsed.error.empty()) throw UsageError(option + ": " + parsed.error);
  return std::string(parsed.bytes.begin(), parsed.bytes.end());
}

}  // namespace ostrel::cli
