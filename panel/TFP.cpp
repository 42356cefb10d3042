#include "panel/TFP.h"

#include <algorithm>

#include "common/LogLines.h"
#include "common/hexdump.h"

namespace ostrel::panel {

uint16_t TFP::Checksum(const std::string& bytes, size_t from, size_t to_exclusive) {
  uint16_t sum = 0;
  for (size_t i = from; i < to_exclusive && i < bytes.size(); ++i)
    sum = static_cast<uint16_t>(sum + static_cast<unsigned char>(bytes[i]));
  return static_cast<uint16_t>(sum % 65535);
}

std::string TFP::BuildRequest(uint8_t code, uint8_t length, const std::string& payload) const {
  std::string frame;
  frame.reserve(11 + payload.size());
  frame += static_cast<char>(kStartByte);
  frame += static_cast<char>(kCmdByte);
  frame += static_cast<char>(Id1);
  frame += static_cast<char>(Id2);
  frame += '[';
  frame += static_cast<char>(code);
  frame += '\0';
  frame += static_cast<char>(length);
  // The payload goes out whole, whatever the length byte says.
  frame += payload;
  const uint16_t sum = Checksum(frame, 1, frame.size());
  frame += static_cast<char>(sum >> 8);
  frame += static_cast<char>(sum & 0xFF);
  frame += static_cast<char>(kEndByte);
  return frame;
}

void TFP::SendRequest(uint8_t code, uint8_t length, const std::string& payload) {
  if (!view_.PortOpen()) {
    view_.AddLogLine(kPortNotOpenedLine);
    return;
  }
  const std::string frame = BuildRequest(code, length, payload);
  view_.AddLogLine(ostrel::hexLine("SENT: ", frame));
  try {
    view_.WritePort(HexEncodeFrame(frame));
  } catch (...) {
    view_.AddLogLine("Exception on serial port sending...");
  }
}

TFP::FrameFault TFP::ReplyFrameFault(const std::string& reply) {
  const size_t len = reply.size();
  auto at = [&](size_t i) { return static_cast<unsigned char>(reply[i]); };
  const bool bytesOk = len > 3 && at(0) == kStartByte && at(1) == kCmdByte && at(2) == kId1Byte && at(3) == kId2Byte &&
                       at(len - 1) == kEndByte;
  if (!bytesOk) return FrameFault::Bytes;
  // len >= 4 here; below 5 no byte is summed. Only the high byte is compared.
  const uint16_t sum = len >= 5 ? Checksum(reply, 1, len - 3) : 0;
  return (sum >> 8) != at(len - 3) ? FrameFault::Checksum : FrameFault::None;
}

bool TFP::CheckReply(const std::string& reply, uint16_t length) {
  switch (ReplyFrameFault(reply.substr(0, std::min<size_t>(length, reply.size())))) {
    case FrameFault::Bytes: view_.AddLogLine("Error in some of the Start/Stop/ID/CMD bytes"); return false;
    case FrameFault::Checksum: view_.AddLogLine("Error in CRC of the packet!"); return false;
    case FrameFault::None: break;
  }
  return true;
}

bool TFP::FullChecksumOk(const std::string& reply) {
  // The shortest frame with a checksum: start, CMD, two ID bytes, two
  // checksum bytes, end.
  if (reply.size() < 7 || ReplyFrameFault(reply) != FrameFault::None) return false;
  const size_t len = reply.size();
  const uint16_t sum = Checksum(reply, 1, len - 3);
  return static_cast<unsigned char>(reply[len - 3]) == (sum >> 8) &&
         static_cast<unsigned char>(reply[len - 2]) == (sum & 0xFF);
}

std::string TFP::HexEncodeFrame(const std::string& frame) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  if (frame.size() <= 1) return frame;
  std::string out;
  out.reserve(2 * frame.size());
  out += frame.front();
  for (size_t i = 1; i + 1 < frame.size(); ++i) {
    const auto b = static_cast<unsigned char>(frame[i]);
    out += kDigits[b >> 4];
    out += kDigits[b & 0x0F];
  }
  out += frame.back();
  return out;
}

std::string TFP::HexDecodeFrame(const std::string& text) {
  // Empty and one-character texts come back unchanged: there is nothing
  // between a start and an end character to decode.
  if (text.size() <= 1) return text;
  auto value = [](unsigned char c) -> unsigned { return c < 0x40 ? c - 0x30u : c - 0x37u; };
  std::string out;
  out.reserve(text.size() / 2 + 2);
  out += text.front();
  const size_t last = text.size() - 1;
  for (size_t p = 1; p + 1 <= last; p += 2) {
    const unsigned hi = value(static_cast<unsigned char>(text[p]));
    const unsigned lo = value(static_cast<unsigned char>(text[p + 1]));
    out += static_cast<char>(((hi << 4) | lo) & 0xFF);
  }
  out += text.back();
  return out;
}

}  // namespace ostrel::panel
