#include "modbus/reply.h"

#include "modbus/codes.h"
#include "modbus/crc.h"

namespace ostrel::modbus {
namespace {

uint8_t at(std::string_view s, size_t i) { return static_cast<uint8_t>(s[i]); }

// True when the CRC over the first `bodyLength` bytes stands right after them.
bool crcAfter(std::string_view reply, size_t bodyLength) {
  if (bodyLength + 2 > reply.size()) return false;
  const CrcBytes crc = ModbusCrc(reply.substr(0, bodyLength));
  return at(reply, bodyLength) == crc.low && at(reply, bodyLength + 1) == crc.high;
}

bool crcValid(std::string_view reply) {
  const size_t n = reply.size();
  if (n < 3) return false;
  // A correct frame whose CRC high byte happens to be 0x00 also ends in 0x00, so the
  // plain form is tried first and the form with one extra 0x00 after the CRC second.
  if (crcAfter(reply, n - 2)) return true;
  return at(reply, n - 1) == 0x00 && crcAfter(reply, n - 3);
}

}  // namespace

ReplyCheck CheckReadReply(std::string_view reply) {
  ReplyCheck r;
  if (!crcValid(reply)) {
    r.kind = ReplyCheck::Kind::CrcError;
    return r;
  }
  if (at(reply, 0) == 0x00) {
    r.kind = ReplyCheck::Kind::GarbageLeading;
    return r;
  }
  if (at(reply, 1) >= kExceptionFlag) {
    r.kind = ReplyCheck::Kind::Exception;
    r.exceptionCode = at(reply, 2);
    return r;
  }
  r.kind = ReplyCheck::Kind::Registers;
  const size_t count = at(reply, 2);
  for (size_t k = 0; 2 * k < count && 4 + 2 * k < reply.size(); ++k) {
    r.registers.push_back({at(reply, 3 + 2 * k), at(reply, 4 + 2 * k)});
  }
  return r;
}

bool ReadReplyMatches(std::string_view request, std::string_view reply) {
  if (request.size() < 6 || reply.size() < 3 || reply[0] != request[0] || reply[1] != request[1]) return false;
  const size_t asked = static_cast<size_t>(at(request, 4) << 8 | at(request, 5));
  return at(reply, 2) == 2 * asked && reply.size() >= 5 + 2 * asked;
}

bool WriteEchoConfirms(std::string_view request, std::string_view reply) {
  if (request.size() < 8 || reply.size() < 8) return false;
  if (at(request, 1) == kWriteMultipleRegisters)
    return reply.substr(0, 6) == request.substr(0, 6) && crcAfter(reply, 6);
  return reply.substr(0, request.size()) == request;
}

std::string ExceptionLogLine(uint8_t code) {
  const char* text = nullptr;
  switch (code) {
    case 1: text = "Error - ILLEGAL FUNCTION"; break;
    case 2: text = "Error - ILLEGAL DATA ADDRESS"; break;
    case 3: text = "Error - ILLEGAL DATA VALUE"; break;
    case 4: text = "Error - SLAVE DEVICE FAILURE"; break;
    case 6: text = "Error - SLAVE DEVICE BUSY"; break;
    case 8: text = "Error - MEMORY PARITY ERROR"; break;
    default: return {};
  }
  return std::string(text) + '\r';
}

void DecodeReadReply(int firstNumber, int firstRow, std::string_view reply, ReplySink& sink) {
  const ReplyCheck r = CheckReadReply(reply);
  switch (r.kind) {
    case ReplyCheck::Kind::CrcError:
      sink.SetCrcStatusText(kCrcErrorText);
      sink.AddLogLine(std::string(kCrcErrorText) + '\r');
      return;
    case ReplyCheck::Kind::GarbageLeading: sink.AddLogLine("Garbage leading bytes in the telegram"); return;
    case ReplyCheck::Kind::Exception:
      if (auto line = ExceptionLogLine(r.exceptionCode); !line.empty()) sink.AddLogLine(line);
      return;
    case ReplyCheck::Kind::Registers:
      for (size_t k = 0; k < r.registers.size(); ++k) {
        const int i = static_cast<int>(k);
        sink.DecodeRegister(r.registers[k].high, r.registers[k].low, firstRow + i, firstNumber + i);
      }
      return;
  }
}

}  // namespace ostrel::modbus
