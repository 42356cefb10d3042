#pragma once
// Resident set size of this process in KiB, from /proc/self/status (0 where there is none).
#include <fstream>
#include <string>

inline long rssKiB() {
  std::ifstream f("/proc/self/status");
  std::string key;
  while (f >> key) {
    if (key == "VmRSS:") {
      long kib = 0;
      f >> kib;
      return kib;
    }
    f.ignore(1 << 12, '\n');
  }
  return 0;
}
