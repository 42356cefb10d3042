#pragma once
// The telnet layer of a serial device server: data bytes with IAC doubled, option negotiation,
// and the COM-PORT-OPTION sub-negotiations that carry the line settings, modem lines, purges
// and the server's notifications. Pure byte work over strings; the device does the I/O.
#include <cstdint>
#include <string>
#include <vector>

namespace ostrel::serial::telnet {

inline constexpr uint8_t IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, SE = 240;
inline constexpr uint8_t kBinary = 0, kSuppressGoAhead = 3, kComPort = 44;

// COM-PORT-OPTION commands as the client sends them; the server answers with the same code
// plus kServerOffset.
namespace cpo {
inline constexpr uint8_t Signature = 0, SetBaudRate = 1, SetDataSize = 2, SetParity = 3, SetStopSize = 4,
                         SetControl = 5, NotifyLineState = 6, NotifyModemState = 7, FlowSuspend = 8, FlowResume = 9,
                         SetLineStateMask = 10, SetModemStateMask = 11, PurgeData = 12;
inline constexpr uint8_t kServerOffset = 100;
}  // namespace cpo

// Values of SET-PARITY, SET-STOPSIZE, SET-CONTROL and PURGE-DATA.
namespace value {
inline constexpr uint8_t ParityNone = 1, ParityOdd = 2, ParityEven = 3, ParityMark = 4, ParitySpace = 5;
inline constexpr uint8_t Stop1 = 1, Stop2 = 2, Stop15 = 3;
inline constexpr uint8_t FlowNone = 1, FlowXonXoff = 2, FlowHardware = 3, BreakOn = 5, BreakOff = 6, DtrOn = 8,
                         DtrOff = 9, RtsOn = 11, RtsOff = 12;
inline constexpr uint8_t PurgeReceive = 1, PurgeTransmit = 2, PurgeBoth = 3;
}  // namespace value

// Bits of NOTIFY-LINESTATE and NOTIFY-MODEMSTATE.
namespace line {
inline constexpr uint8_t Overrun = 0x02, Parity = 0x04, Framing = 0x08, Break = 0x10;
}
namespace modem {
inline constexpr uint8_t DeltaCts = 0x01, DeltaDsr = 0x02, TrailingRing = 0x04, DeltaCd = 0x08, Cts = 0x10, Dsr = 0x20,
                         Ring = 0x40, Cd = 0x80;
}

// Data bytes ready for the stream: every IAC doubled.
std::string EscapeData(const uint8_t* data, size_t count);
// IAC verb option.
std::string Command(uint8_t verb, uint8_t option);
// A COM-PORT-OPTION sub-negotiation from the client: IAC SB 44 code value... IAC SE, with every
// IAC in the value doubled.
std::string ComPortCommand(uint8_t code, const std::string& value);
// The four bytes of a rate in network order.
std::string RateValue(uint32_t rate);

// What one stretch of the stream held, in order of kind (the order among kinds does not matter
// to the device: data never depends on a negotiation that arrived with it).
struct Received {
  std::string data;                                  // payload, unescaped
  std::vector<std::pair<uint8_t, uint8_t>> options;  // (verb, option) of DO/DONT/WILL/WONT
  std::vector<std::string> subnegotiations;          // option byte first, unescaped
};

// Splits the stream into data, negotiations and sub-negotiations; a sequence cut between two
// reads is kept until its rest arrives.
class Decoder {
 public:
  void feed(const uint8_t* bytes, size_t count, Received& out);

 private:
  enum class State { Data, Iac, Verb, Sub, SubIac } state_ = State::Data;
  uint8_t verb_ = 0;
  std::string sub_;
};

// The options a client of a device server wants, and its answers to the server's requests:
// binary both ways (no byte is translated), go-ahead suppressed, and COM-PORT-OPTION on our
// side. Every other option is refused. Answers follow the rule that a request which only
// confirms the present state is not answered, so two peers never loop.
class Negotiation {
 public:
  // What the client sends first.
  std::string opening() const;
  // The answer to one received (verb, option), possibly empty.
  std::string answer(uint8_t verb, uint8_t option);
  bool comPortAccepted() const { return comPort_ == State::Yes; }
  bool comPortRefused() const { return comPort_ == State::No; }

 private:
  enum class State { No, Yes, Asked };
  State& local(uint8_t option);
  State& remote(uint8_t option);
  State comPort_ = State::Asked, localBinary_ = State::Asked, remoteBinary_ = State::Asked, localSga_ = State::Asked,
        remoteSga_ = State::Asked, other_ = State::No;
};

}  // namespace ostrel::serial::telnet
