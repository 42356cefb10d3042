#pragma once
// How a receive handler takes what its port reports waiting.
#include <cstddef>
#include <functional>
#include <string>

namespace ostrel {

// A receive handler reads at most this many bytes at a time.
inline constexpr std::size_t kRxChunk = 1024;

// The `count` bytes a receive event announced, read with readBytes(max) in pieces of at most
// kRxChunk bytes until all are in or a read returns nothing. Bytes beyond `count` are left for
// the next event, so none is lost or read twice.
std::string ReadAnnounced(std::size_t count, const std::function<std::string(std::size_t max)>& readBytes);

}  // namespace ostrel
