#pragma once
// Modbus TCP's framing: the same request and reply bodies as on a serial line, behind a header
// (transaction id, protocol 0, length, unit id) instead of an address byte and a CRC. The port
// speaks serial frames; these turn one kind into the other.
#include <cstdint>
#include <string>

namespace ostrel::modbus {

inline constexpr size_t kMbapHeader = 7;

// The TCP frame for a whole serial frame (address, body, good CRC), with the address as the
// unit id; empty when the bytes are no whole frame.
std::string MbapFromRtu(const std::string& rtu, uint16_t transaction);

// How much of `buffer`, from its start, one whole TCP frame takes: 0 while it is not whole yet,
// std::string::npos when the bytes cannot begin a frame (another protocol, a length no frame
// has).
size_t MbapFrameLength(const std::string& buffer);

// The serial frame (unit id as address, body, CRC) of a whole TCP frame that answers
// `transaction`; empty for the answer to another request.
std::string RtuFromMbap(const std::string& frame, uint16_t transaction);

}  // namespace ostrel::modbus
