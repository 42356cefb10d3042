#pragma once
// The check of a collected read reply (functions 3 and 4 alike) and its hand-over.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "modbus/link.h"

namespace ostrel::modbus {

struct RegisterBytes {
  uint8_t high = 0;
  uint8_t low = 0;
};

struct ReplyCheck {
  enum class Kind { Registers, CrcError, GarbageLeading, Exception };
  Kind kind = Kind::CrcError;
  uint8_t exceptionCode = 0;             // Kind::Exception only
  std::vector<RegisterBytes> registers;  // Kind::Registers only
};

// Checks the CRC (a trailing extra 0x00 after the CRC is tolerated), refuses a
// reply whose first byte is 0x00 (leading garbage: no slave answers from address
// 0; the address is not compared with the one asked), looks at the exception bit,
// and collects the registers by the byte count.
ReplyCheck CheckReadReply(std::string_view reply);

// True when a reply that CheckReadReply took for registers answers this read
// request (function 3 or 4): from the slave asked, the same function, and exactly the
// registers asked for.
bool ReadReplyMatches(std::string_view request, std::string_view reply);

// True when the reply confirms a write request by its echo: for function 16 the
// address, function, start and count with a right CRC; for function 6 the whole request.
bool WriteEchoConfirms(std::string_view request, std::string_view reply);

// The log line of an exception code ("Error - ILLEGAL DATA ADDRESS\r"), empty when
// the code has none.
std::string ExceptionLogLine(uint8_t code);

inline constexpr const char* kCrcErrorText = "Error in CRC field";

// Where the reply check reports: the log, status panel 2 and one table row per register.
class ReplySink : public LogSink {
 public:
  virtual void SetCrcStatusText(const std::string& text) = 0;
  virtual void DecodeRegister(uint8_t high, uint8_t low, int row, int number) = 0;
};

// Checks a reply and reports it: register k becomes row firstRow + k with number firstNumber + k.
void DecodeReadReply(int firstNumber, int firstRow, std::string_view reply, ReplySink& sink);

}  // namespace ostrel::modbus
