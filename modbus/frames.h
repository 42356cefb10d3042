#pragma once
// Request frames of the Modbus master (functions 3, 4, 6 and 16) and their senders.
// 16-bit fields go high byte first, cut to 16 bits; the CRC goes low byte first.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "modbus/link.h"

namespace ostrel::modbus {

// The PC's local clock as the set-clock frame needs it. weekday: 1 = Monday ... 7 = Sunday.
struct ClockTime {
  int year = 2000, month = 1, day = 1;
  int hour = 0, minute = 0, second = 0;
  int weekday = 1;
};

// The local time now (milliseconds dropped).
ClockTime LocalClockNow();

std::string BuildReadInputRegisters(uint8_t slave, int start, int count);
std::string BuildReadHoldingRegisters(uint8_t slave, int start, int count);
std::string BuildWriteSingleRegister(uint8_t slave, int reg, uint8_t valueHigh, uint8_t valueLow);
// Function 16 with each value as one register; the caller keeps to 1 .. kMaxWriteCount values.
std::string BuildWriteMultipleRegisters(uint8_t slave, int start, const std::vector<uint16_t>& values);
// Empty when count is not 4: the panel's clock is exactly four registers.
std::optional<std::string> BuildSetDateTime(uint8_t slave, int start, int count, const ClockTime& clock);

// Logs "SENT:" first, raises RTS, waits 50 ms, writes the 8 bytes 2 ms apart,
// drops RTS and queries the output space.
void SendReadInputRegisters(ModbusLink& link, LogSink& log, uint8_t slave, int start, int count);
// Raises RTS, writes the 8 bytes 2 ms apart, drops RTS, then logs "SENT:".
void SendWriteSingleRegister(ModbusLink& link, LogSink& log, uint8_t slave, int reg, uint8_t valueHigh,
                             uint8_t valueLow);
// As the write single register; with a count other than 4 logs
// "Not allowable register count!" and sends nothing.
void SendSetDateTime(ModbusLink& link, LogSink& log, uint8_t slave, int start, int count, const ClockTime& clock);

}  // namespace ostrel::modbus
