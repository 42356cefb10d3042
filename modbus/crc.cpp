#include "modbus/crc.h"

namespace ostrel::modbus {

CrcBytes ModbusCrc(std::string_view bytes) {
  uint16_t crc = 0xFFFF;
  for (unsigned char c : bytes) {
    crc ^= c;
    for (int i = 0; i < 8; ++i) {
      const bool out = crc & 1u;
      crc >>= 1;
      if (out) crc ^= 0xA001;
    }
  }
  return {static_cast<uint8_t>(crc >> 8), static_cast<uint8_t>(crc & 0xFF)};
}

}  // namespace ostrel::modbus
