#pragma once
// The numbers of the Modbus protocol and of the panel's register map that the master uses.
#include <cstdint>

namespace ostrel::modbus {

// Function codes.
inline constexpr uint8_t kReadHoldingRegisters = 0x03;
inline constexpr uint8_t kReadInputRegisters = 0x04;
inline constexpr uint8_t kWriteSingleRegister = 0x06;
inline constexpr uint8_t kWriteMultipleRegisters = 0x10;
// The most registers one read request may ask for, and one write-multiple request may carry.
inline constexpr int kMaxReadCount = 125;
inline constexpr int kMaxWriteCount = 123;
// Slave addresses, by two rules:
// - a Modbus RTU request may name 1 .. 247 (0 is the broadcast, which no slave answers, and
//   248 .. 255 are reserved): ostrel-cli takes any of these, for --slave and for a new address,
//   so that it reaches every slave a line may carry;
// - the window's address box offers 1 .. 32, two digits with a spin box, the range the window
//   has always had: it reaches a site's panels, not every slave a line may carry.
inline constexpr int kFirstSlaveAddress = 1;
inline constexpr int kLastSlaveAddress = 247;
inline constexpr int kLastWindowSlaveAddress = 32;
// A slave sets this bit of the function code when it answers with an exception.
inline constexpr uint8_t kExceptionFlag = 0x80;

// The panel's holding registers that the commands write.
inline constexpr int kSlaveAddressRegister = 0x8011;   // its new Modbus slave address
inline constexpr int kModbusLineRegister = 0x8012;     // baud rate and parity of its Modbus port
inline constexpr int kPanelPortLineRegister = 0x8013;  // baud rate and parity of its FP port

}  // namespace ostrel::modbus
