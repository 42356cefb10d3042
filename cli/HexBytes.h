#pragma once
// Bytes typed as hexadecimal on the command line ("02 30 33 04"), read with
// the window's custom-command parser so both send the same bytes for the
// same text. Lower-case digits are taken too; a token that is not one byte
// is refused instead of being cut to its first two digits.
#include <string>

namespace ostrel::cli {

// The bytes of blank-separated tokens of one or two hex digits each. Throws
// a usage error naming `option` and the first token that is not a byte.
std::string HexBytesArgument(const std::string& option, const std::string& text);

}  // namespace ostrel::cli
