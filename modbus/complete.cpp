#include "modbus/complete.h"

#include "modbus/codes.h"
#include "modbus/crc.h"

namespace ostrel::modbus {
namespace {

// True when the `length` bytes at the start of reply end in their right CRC.
bool wholeFrame(std::string_view reply, size_t length) {
  if (length < 3 || reply.size() < length) return false;
  const CrcBytes crc = ModbusCrc(reply.substr(0, length - 2));
  return static_cast<uint8_t>(reply[length - 2]) == crc.low && static_cast<uint8_t>(reply[length - 1]) == crc.high;
}

}  // namespace

bool ReplyComplete(uint8_t function, std::string_view reply) {
  if (reply.size() < 2) return false;
  if ((static_cast<uint8_t>(reply[1]) & kExceptionFlag) && wholeFrame(reply, kExceptionReplyLength)) return true;
  if (function == 3 || function == 4) {
    if (reply.size() < 3) return false;
    return wholeFrame(reply, ReadReplyLength(0) + static_cast<uint8_t>(reply[2]));
  }
  return wholeFrame(reply, kWriteReplyLength);
}

}  // namespace ostrel::modbus
