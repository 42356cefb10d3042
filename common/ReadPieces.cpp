#include "common/ReadPieces.h"

#include <algorithm>

namespace ostrel {

std::string ReadAnnounced(std::size_t count, const std::function<std::string(std::size_t)>& readBytes) {
  std::string got;
  while (got.size() < count) {
    const std::string piece = readBytes(std::min(kRxChunk, count - got.size()));
    if (piece.empty()) break;
    got += piece;
  }
  return got;
}

}  // namespace ostrel
