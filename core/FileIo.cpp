#include "core/FileIo.h"

#include <cstdint>

namespace ostrel {

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::optional<BoundedRead> read = ReadRegularFile(path, SIZE_MAX);
  if (!read) return std::nullopt;
  return std::move(read->bytes);
}

}  // namespace ostrel
