#include "modbus/frames.h"

#include <ctime>

#include "common/LocalTime.h"
#include "common/hexdump.h"
#include "modbus/codes.h"
#include "modbus/crc.h"

namespace ostrel::modbus {
namespace {

void put16(std::string& f, int value) {
  f.push_back(static_cast<char>((value >> 8) & 0xFF));
  f.push_back(static_cast<char>(value & 0xFF));
}

void appendCrc(std::string& f) {
  const CrcBytes crc = ModbusCrc(f);
  f.push_back(static_cast<char>(crc.low));
  f.push_back(static_cast<char>(crc.high));
}

// Writes the frame between raised and dropped RTS, 2 ms after every byte. The driver may still
// be sending when the last byte was handed over (at 2400 baud a read request takes about 37 ms
// on the wire), so the last pause and the drop of RTS wait until the line has sent it all.
void writeFrame(ModbusLink& link, const std::string& frame, int pauseAfterRtsMs) {
  link.SetRts(true);
  if (pauseAfterRtsMs > 0) link.SleepMs(pauseAfterRtsMs);
  for (size_t i = 0; i < frame.size(); ++i) {
    link.WriteByte(static_cast<uint8_t>(frame[i]));
    if (i + 1 == frame.size()) link.WaitUntilSent();
    link.SleepMs(2);
  }
  link.SetRts(false);
}

}  // namespace

ClockTime LocalClockNow() {
  const std::tm tm = LocalTimeOf(std::time(nullptr));
  ClockTime c;
  c.year = tm.tm_year + 1900;
  c.month = tm.tm_mon + 1;
  c.day = tm.tm_mday;
  c.hour = tm.tm_hour;
  c.minute = tm.tm_min;
  c.second = tm.tm_sec > 59 ? 59 : tm.tm_sec;  // a leap second still fits the panel's range
  c.weekday = tm.tm_wday == 0 ? 7 : tm.tm_wday;
  return c;
}

namespace {

std::string readRequest(uint8_t slave, uint8_t function, int start, int count) {
  std::string f;
  f.push_back(static_cast<char>(slave));
  f.push_back(static_cast<char>(function));
  put16(f, start);
  put16(f, count);
  appendCrc(f);
  return f;
}

}  // namespace

std::string BuildReadInputRegisters(uint8_t slave, int start, int count) {
  return readRequest(slave, kReadInputRegisters, start, count);
}

std::string BuildReadHoldingRegisters(uint8_t slave, int start, int count) {
  return readRequest(slave, kReadHoldingRegisters, start, count);
}

std::string BuildWriteMultipleRegisters(uint8_t slave, int start, const std::vector<uint16_t>& values) {
  std::string f;
  f.push_back(static_cast<char>(slave));
  f.push_back(static_cast<char>(kWriteMultipleRegisters));
  put16(f, start);
  put16(f, static_cast<int>(values.size()));
  f.push_back(static_cast<char>((2 * values.size()) & 0xFF));
  for (uint16_t v : values) put16(f, v);
  appendCrc(f);
  return f;
}

std::string BuildWriteSingleRegister(uint8_t slave, int reg, uint8_t valueHigh, uint8_t valueLow) {
  std::string f;
  f.push_back(static_cast<char>(slave));
  f.push_back(static_cast<char>(kWriteSingleRegister));
  put16(f, reg);
  f.push_back(static_cast<char>(valueHigh));
  f.push_back(static_cast<char>(valueLow));
  appendCrc(f);
  return f;
}

std::optional<std::string> BuildSetDateTime(uint8_t slave, int start, int count, const ClockTime& c) {
  if (count != 4) return std::nullopt;
  std::string f;
  f.push_back(static_cast<char>(slave));
  f.push_back(static_cast<char>(kWriteMultipleRegisters));
  put16(f, start);
  put16(f, count);
  f.push_back(0x08);
  for (int v : {c.second, c.minute, c.hour, c.weekday, c.day, c.month, c.year}) {
    f.push_back(static_cast<char>(v & 0xFF));
  }
  f.push_back(0x00);
  appendCrc(f);
  return f;
}

void SendReadInputRegisters(ModbusLink& link, LogSink& log, uint8_t slave, int start, int count) {
  const std::string frame = BuildReadInputRegisters(slave, start, count);
  log.AddLogLine(ostrel::hexLine("SENT:", frame));
  writeFrame(link, frame, 50);
  (void)link.OutputSpace();
}

void SendWriteSingleRegister(ModbusLink& link, LogSink& log, uint8_t slave, int reg, uint8_t valueHigh,
                             uint8_t valueLow) {
  const std::string frame = BuildWriteSingleRegister(slave, reg, valueHigh, valueLow);
  writeFrame(link, frame, 0);
  log.AddLogLine(ostrel::hexLine("SENT:", frame));
}

void SendSetDateTime(ModbusLink& link, LogSink& log, uint8_t slave, int start, int count, const ClockTime& clock) {
  const auto frame = BuildSetDateTime(slave, start, count, clock);
  if (!frame) {
    log.AddLogLine("Not allowable register count!");
    return;
  }
  writeFrame(link, *frame, 0);
  log.AddLogLine(ostrel::hexLine("SENT:", *frame));
}

}  // namespace ostrel::modbus
