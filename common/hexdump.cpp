#include "common/hexdump.h"

namespace ostrel {

std::string hexDump(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.resize(bytes.size() * 3);
  size_t i = 0;
  for (unsigned char b : bytes) {
    out[i++] = kDigits[b >> 4];
    out[i++] = kDigits[b & 0x0F];
    out[i++] = ' ';
  }
  return out;
}

}  // namespace ostrel
