#include "core/FileNames.h"

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

std::string WithDefaultExtension(const std::string& path, const std::string& ext) {
  if (ext.empty()) return path;
  const auto slash = path.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  if (nameStart == path.size()) return path;  // a folder, not a file name
  const auto dot = path.rfind('.');
  const bool hasExtension = dot != std::string::npos && dot > nameStart && dot + 1 < path.size();
  if (hasExtension) return path;
  if (!path.empty() && path.back() == '.') return path + ext;
  return path + "." + ext;
}

}  // namespace ostrel
