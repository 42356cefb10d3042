#include "core/ComName.h"

namespace ostrel {

int ComNumber(const std::string& name) {
  if (name.size() < 4 || name.size() > 6) return 0;
  for (int i = 0; i < 3; ++i) {
    const char c = static_cast<char>(name[i] | 0x20);
    if (c != "com"[i]) return 0;
  }
  if (name[3] == '0') return 0;
  int n = 0;
  for (std::size_t i = 3; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return 0;
    n = n * 10 + (name[i] - '0');
  }
  return n >= 1 && n <= kLastComNumber ? n : 0;
}

}  // namespace ostrel
