#pragma once
// When a reply has fully arrived: a master that need not wait out a fixed
// reply wait ends the wait as soon as these say the reply is whole.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace ostrel::modbus {

// Length of an exception reply: address, function with bit 7, code, CRC.
inline constexpr size_t kExceptionReplyLength = 5;
// Length of the echo that answers a write-single or write-multiple request.
inline constexpr size_t kWriteReplyLength = 8;

// The length of a read reply (functions 3 and 4) carrying `count` registers.
inline constexpr size_t ReadReplyLength(int count) { return 5 + 2 * static_cast<size_t>(count); }

// True once `reply` begins with a whole frame answering a request of
// `function`: an exception reply, a read reply of the length its own byte
// count gives, or the 8-byte echo of a write, each with its CRC right.
// Bytes after that frame do not matter.
bool ReplyComplete(uint8_t function, std::string_view reply);

}  // namespace ostrel::modbus
