#pragma once
// The body of every traffic line of the log: each byte as two uppercase hex
// digits followed by one blank ("02 03 "). An empty string gives "".
#include <string>
#include <string_view>

namespace ostrel {

std::string hexDump(std::string_view bytes);

// The same with a prefix, as the log's traffic lines are written ("SENT: 02 03 ").
inline std::string hexLine(std::string_view prefix, std::string_view bytes) {
  std::string line(prefix);
  line += hexDump(bytes);
  return line;
}

}  // namespace ostrel
