#pragma once
// Modbus RTU CRC-16 (polynomial 0xA001 reflected, start 0xFFFF, no final XOR).
#include <cstdint>
#include <string_view>

namespace ostrel::modbus {

struct CrcBytes {
  uint8_t high = 0;
  uint8_t low = 0;
};

// The CRC of a byte string as its high and low byte; on the wire the low byte goes first.
CrcBytes ModbusCrc(std::string_view bytes);

}  // namespace ostrel::modbus
