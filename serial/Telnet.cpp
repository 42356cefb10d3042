#include "serial/Telnet.h"

namespace ostrel::serial::telnet {

std::string EscapeData(const uint8_t* data, size_t count) {
  std::string out;
  out.reserve(count + count / 64 + 1);
  for (size_t i = 0; i < count; ++i) {
    out += static_cast<char>(data[i]);
    if (data[i] == IAC) out += static_cast<char>(IAC);
  }
  return out;
}

std::string Command(uint8_t verb, uint8_t option) {
  return {static_cast<char>(IAC), static_cast<char>(verb), static_cast<char>(option)};
}

std::string ComPortCommand(uint8_t code, const std::string& value) {
  std::string out{static_cast<char>(IAC), static_cast<char>(SB), static_cast<char>(kComPort), static_cast<char>(code)};
  out += EscapeData(reinterpret_cast<const uint8_t*>(value.data()), value.size());
  out += static_cast<char>(IAC);
  out += static_cast<char>(SE);
  return out;
}

std::string RateValue(uint32_t rate) {
  return {static_cast<char>(rate >> 24), static_cast<char>(rate >> 16), static_cast<char>(rate >> 8),
          static_cast<char>(rate)};
}

void Decoder::feed(const uint8_t* bytes, size_t count, Received& out) {
  // A sub-negotiation longer than any the option defines is a broken stream; it is dropped
  // rather than held without bound.
  constexpr size_t kLongestSub = 64;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t b = bytes[i];
    switch (state_) {
      case State::Data:
        if (b == IAC)
          state_ = State::Iac;
        else
          out.data += static_cast<char>(b);
        break;
      case State::Iac:
        if (b == IAC) {
          out.data += static_cast<char>(IAC);
          state_ = State::Data;
        } else if (b == DO || b == DONT || b == WILL || b == WONT) {
          verb_ = b;
          state_ = State::Verb;
        } else if (b == SB) {
          sub_.clear();
          state_ = State::Sub;
        } else {
          state_ = State::Data;  // NOP, GA and the other two-byte commands carry nothing here
        }
        break;
      case State::Verb:
        out.options.emplace_back(verb_, b);
        state_ = State::Data;
        break;
      case State::Sub:
        if (b == IAC)
          state_ = State::SubIac;
        else if (sub_.size() < kLongestSub)
          sub_ += static_cast<char>(b);
        break;
      case State::SubIac:
        if (b == SE) {
          out.subnegotiations.push_back(sub_);
          state_ = State::Data;
        } else {
          if (sub_.size() < kLongestSub) sub_ += static_cast<char>(b);  // IAC IAC inside: one 255
          state_ = State::Sub;
        }
        break;
    }
  }
}

std::string Negotiation::opening() const {
  return Command(WILL, kComPort) + Command(WILL, kBinary) + Command(DO, kBinary) + Command(WILL, kSuppressGoAhead) +
         Command(DO, kSuppressGoAhead);
}

Negotiation::State& Negotiation::local(uint8_t option) {
  if (option == kComPort) return comPort_;
  if (option == kBinary) return localBinary_;
  if (option == kSuppressGoAhead) return localSga_;
  other_ = State::No;
  return other_;
}

Negotiation::State& Negotiation::remote(uint8_t option) {
  if (option == kBinary) return remoteBinary_;
  if (option == kSuppressGoAhead) return remoteSga_;
  other_ = State::No;
  return other_;
}

std::string Negotiation::answer(uint8_t verb, uint8_t option) {
  const bool wanted = option == kComPort || option == kBinary || option == kSuppressGoAhead;
  if (verb == DO || verb == DONT) {
    State& s = local(option);
    const State before = s;
    if (verb == DO && wanted) {
      s = State::Yes;
      return before == State::No ? Command(WILL, option) : std::string();
    }
    s = State::No;
    // A refusal of our offer needs no answer; a DO we cannot do, or a DONT for what was on,
    // is answered with WONT.
    return before == State::Asked ? std::string() : (verb == DO || before == State::Yes ? Command(WONT, option) : "");
  }
  if (verb == WILL || verb == WONT) {
    State& s = remote(option);
    const bool remoteWanted = option == kBinary || option == kSuppressGoAhead;
    const State before = s;
    if (verb == WILL && remoteWanted) {
      s = State::Yes;
      return before == State::No ? Command(DO, option) : std::string();
    }
    s = State::No;
    return before == State::Asked ? std::string() : (verb == WILL || before == State::Yes ? Command(DONT, option) : "");
  }
  return {};
}

}  // namespace ostrel::serial::telnet
