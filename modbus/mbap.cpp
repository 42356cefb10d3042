#include "modbus/mbap.h"

#include "modbus/crc.h"

namespace ostrel::modbus {

namespace {

// Unit id and body: a serial frame's bytes less the CRC, at most 253 + 1.
constexpr size_t kLongestUnitAndBody = 254;

uint16_t word(const std::string& s, size_t at) {
  return static_cast<uint16_t>((static_cast<uint8_t>(s[at]) << 8) | static_cast<uint8_t>(s[at + 1]));
}

void putWord(std::string& s, uint16_t v) {
  s += static_cast<char>(v >> 8);
  s += static_cast<char>(v & 0xFF);
}

}  // namespace

std::string MbapFromRtu(const std::string& rtu, uint16_t transaction) {
  if (rtu.size() < 4 || rtu.size() - 2 > kLongestUnitAndBody) return {};
  const std::string unitAndBody = rtu.substr(0, rtu.size() - 2);
  const CrcBytes crc = ModbusCrc(unitAndBody);
  if (static_cast<uint8_t>(rtu[rtu.size() - 2]) != crc.low || static_cast<uint8_t>(rtu.back()) != crc.high) return {};
  std::string out;
  putWord(out, transaction);
  putWord(out, 0);
  putWord(out, static_cast<uint16_t>(unitAndBody.size()));
  return out + unitAndBody;
}

size_t MbapFrameLength(const std::string& buffer) {
  if (buffer.size() >= 4 && word(buffer, 2) != 0) return std::string::npos;
  if (buffer.size() < 6) return 0;
  const size_t length = word(buffer, 4);
  if (length < 2 || length > kLongestUnitAndBody) return std::string::npos;
  return buffer.size() >= 6 + length ? 6 + length : 0;
}

std::string RtuFromMbap(const std::string& frame, uint16_t transaction) {
  if (frame.size() < kMbapHeader + 1 || word(frame, 0) != transaction) return {};
  std::string out = frame.substr(6);
  const CrcBytes crc = ModbusCrc(out);
  out += static_cast<char>(crc.low);
  out += static_cast<char>(crc.high);
  return out;
}

}  // namespace ostrel::modbus
