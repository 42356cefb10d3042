#pragma once
// Which request a panel reply answers, as far as the reply itself tells: the
// request code in its header (position 5), the loop number of a loop reply
// and the device address of a device reply (position 9). A reply that tells
// nothing, or does not echo the code, is taken for the awaited one.
#include <cstdint>
#include <string>

namespace ostrel::panel {

// A request as written: its code and the first two payload bytes.
struct PanelRequestId {
  uint8_t code = 0, a = 0, b = 0;
};

// True when `reply`, a whole decoded frame whose start, end, ID bytes and
// both checksum bytes are right, names a request other than `awaited`. A
// damaged reply is never put down to another request: its bytes cannot be
// trusted to say which one it answers.
bool AnswersAnotherRequest(const std::string& reply, const PanelRequestId& awaited);

// "device 4", "loop 1 information", "panel information": what the reply
// names, for the log line that reports it dropped.
std::string NamedRequest(const std::string& reply);

}  // namespace ostrel::panel
