#pragma once
// One Modbus request and its reply: the request goes out whole between
// raised and dropped RTS, and the wait ends as soon as the reply is whole
// with a good CRC, or at the time-out.
#include <chrono>
#include <string>

#include "cli/CliPort.h"
#include "cli/Console.h"

namespace ostrel::cli {

struct Exchange {
  std::string reply;         // every byte received (the QVMD: line)
  bool interrupted = false;  // Ctrl+C during the wait
  bool sent = false;         // the request went out (false only when interrupted before it)
};

Exchange ModbusExchange(CliPort& port, Console& console, const std::string& request, std::chrono::milliseconds wait);

// The default reply wait: 600 ms (the window's default) plus the wire time
// of the request and of the longest reply expected.
std::chrono::milliseconds DefaultModbusWait(const CliPort& port, size_t requestBytes, size_t replyBytes);

// Why a reply that is not the expected one failed, in words: no reply, bad
// CRC, garbage, or the exception code with its meaning. Empty when the
// reply is a whole frame that is not an exception.
std::string ModbusFailure(const std::string& reply, int slave, std::chrono::milliseconds wait);

}  // namespace ostrel::cli
