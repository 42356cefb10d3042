#include "app/core/FileNames.h"

#include <cstring>

namespace ostrel {

std::string SuggestedDeviceFileName(std::string_view shortDateText) {
  std::string name = "meters_data_";
  for (char c : shortDateText) {
    const auto u = static_cast<unsigned char>(c);
    const bool forbidden = u < 0x20 || u == 0x7F || std::strchr("/\\:*?\"<>|", c) != nullptr;
    name += forbidden ? '-' : c;  // UTF-8 bytes of other letters pass unchanged
  }
  name += ".csv";
  return name;
}

}  // namespace ostrel
