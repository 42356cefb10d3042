#pragma once
// Resident set sizes of this process in KiB, from /proc/self/status (0 where there is none).
#include <fstream>
#include <string>

inline long statusKiB(const char* field) {
  std::ifstream f("/proc/self/status");
  std::string key;
  while (f >> key) {
    if (key == field) {
      long kib = 0;
      f >> kib;
      return kib;
    }
    f.ignore(1 << 12, '\n');
  }
  return 0;
}

inline long rssKiB() { return statusKiB("VmRSS:"); }
// The highest resident size this process has had.
inline long peakRssKiB() { return statusKiB("VmHWM:"); }
