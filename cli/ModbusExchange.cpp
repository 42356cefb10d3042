#include "cli/ModbusExchange.h"

#include "common/hexdump.h"
#include "modbus/complete.h"
#include "modbus/reply.h"

namespace ostrel::cli {

Exchange ModbusExchange(CliPort& port, Console& console, const std::string& request, std::chrono::milliseconds wait) {
  Exchange ex;
  const uint8_t function = static_cast<uint8_t>(request.size() > 1 ? request[1] : 0);
  // Nothing received before the request can be its reply.
  if (port.settle() == CliPort::Wait::Interrupted) {
    ex.interrupted = true;
    return ex;
  }
  port.onBytes([&](const std::string& bytes) { ex.reply += bytes; });
  console.traffic(hexLine("SENT:", request));
  port.write(request, true);
  ex.sent = true;
  const auto result = port.waitUntil([&] { return modbus::ReplyComplete(function, ex.reply); }, Clock::now() + wait);
  ex.interrupted = result == CliPort::Wait::Interrupted;
  port.onBytes(nullptr);
  const auto kind = modbus::CheckReadReply(ex.reply).kind;
  if (result != CliPort::Wait::Done || kind == modbus::ReplyCheck::Kind::CrcError ||
      kind == modbus::ReplyCheck::Kind::GarbageLeading)
    port.expectStrayBytes(wait);
  console.traffic(hexLine("QVMD:", ex.reply));
  return ex;
}

std::chrono::milliseconds DefaultModbusWait(const CliPort& port, size_t requestBytes, size_t replyBytes) {
  return std::chrono::milliseconds(600) +
         std::chrono::duration_cast<std::chrono::milliseconds>(port.wireTime(requestBytes + replyBytes));
}

std::string ModbusFailure(const std::string& reply, int slave, std::chrono::milliseconds wait) {
  const std::string who = "slave " + std::to_string(slave);
  if (reply.empty()) return "no reply from " + who + " within " + std::to_string(wait.count()) + " ms";
  const modbus::ReplyCheck check = modbus::CheckReadReply(reply);
  switch (check.kind) {
    case modbus::ReplyCheck::Kind::CrcError:
      return "bad CRC in the reply of " + who + " (" + std::to_string(reply.size()) +
             " bytes: " + hexDump(reply).substr(0, 3 * std::min<size_t>(reply.size(), 16) - 1) +
             (reply.size() > 16 ? " ..." : "") + ")";
    case modbus::ReplyCheck::Kind::GarbageLeading: return "garbage leading bytes in the reply of " + who;
    case modbus::ReplyCheck::Kind::Exception: {
      std::string meaning = modbus::ExceptionLogLine(check.exceptionCode);
      if (meaning.rfind("Error - ", 0) == 0) meaning = meaning.substr(8);
      while (!meaning.empty() && meaning.back() == '\r') meaning.pop_back();
      return who + " refused the request: exception " + std::to_string(check.exceptionCode) +
             (meaning.empty() ? std::string(" (unknown code)") : " " + meaning);
    }
    case modbus::ReplyCheck::Kind::Registers: break;
  }
  return {};
}

}  // namespace ostrel::cli
