#include "serial/NetworkDevice.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace ostrel::serial {

namespace {

using Clock = std::chrono::steady_clock;
namespace cpo = telnet::cpo;
namespace value = telnet::value;

int msLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

std::string byteValue(uint8_t v) { return std::string(1, static_cast<char>(v)); }

// The line settings as COM-PORT-OPTION commands. The record's parity counts from 0 (none, odd,
// even, mark, space) and its stop bits 0, 1, 2 for 1, 1.5, 2.
std::string lineCommands(const TVaDcb& d) {
  using telnet::ComPortCommand;
  const uint8_t stop = d.StopBits == 1 ? value::Stop15 : d.StopBits == 2 ? value::Stop2 : value::Stop1;
  uint8_t flow = value::FlowNone;
  if (d.Flags & (dcb::OutX | dcb::InX)) flow = value::FlowXonXoff;
  if ((d.Flags & dcb::OutxCtsFlow) || (d.Flags & dcb::RtsMask) == dcb::RtsHandshake) flow = value::FlowHardware;
  std::string out = ComPortCommand(cpo::SetBaudRate, telnet::RateValue(d.BaudRate)) +
                    ComPortCommand(cpo::SetDataSize, byteValue(d.ByteSize)) +
                    ComPortCommand(cpo::SetParity, byteValue(static_cast<uint8_t>(d.Parity + 1))) +
                    ComPortCommand(cpo::SetStopSize, byteValue(stop)) +
                    ComPortCommand(cpo::SetControl, byteValue(flow));
  const uint32_t dtr = d.Flags & dcb::DtrMask, rts = d.Flags & dcb::RtsMask;
  if (dtr != dcb::DtrHandshake)
    out += ComPortCommand(cpo::SetControl, byteValue(dtr == dcb::DtrEnable ? value::DtrOn : value::DtrOff));
  if (rts != dcb::RtsHandshake && rts != dcb::RtsToggle)
    out += ComPortCommand(cpo::SetControl, byteValue(rts == dcb::RtsEnable ? value::RtsOn : value::RtsOff));
  return out;
}

}  // namespace

std::shared_ptr<TVaNetworkDevice> TVaNetworkDevice::open(const TVaNetworkAddress& address, int& err,
                                                         std::unique_ptr<TVaStreamTransform> transform) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(kConnectMs);
  auto sock = TVaSocket::Connect(address.host, address.port, kConnectMs, err);
  if (!sock) return nullptr;
  std::shared_ptr<TVaNetworkDevice> d(new TVaNetworkDevice);
  d->kind_ = address.kind;
  d->sock_ = std::move(sock);
  d->transform_ = std::move(transform);
  if (!d->telnet()) return d;
  d->sendControl(d->negotiation_.opening());
  const bool answered = d->waitFor(TVaSocket::MainSlot, msLeft(deadline), [&] {
    return d->negotiation_.comPortAccepted() || d->negotiation_.comPortRefused();
  });
  err = d->lost_ ? d->lost_.load() : !answered ? ETIMEDOUT : d->negotiation_.comPortRefused() ? EPROTONOSUPPORT : 0;
  if (err) return nullptr;
  d->server_.comPort = true;
  // Line errors (break, framing, parity, overrun) and every modem-line change are reported.
  d->sendControl(telnet::ComPortCommand(cpo::SetLineStateMask, byteValue(0x1E)) +
                 telnet::ComPortCommand(cpo::SetModemStateMask, byteValue(0xFF)));
  return d;
}

TVaNetworkDevice::~TVaNetworkDevice() { close(); }

bool TVaNetworkDevice::enter() {
  std::lock_guard l(m_);
  if (closed_) return false;
  ++busy_;
  return true;
}

void TVaNetworkDevice::leave() {
  std::lock_guard l(m_);
  if (--busy_ == 0) idle_.notify_all();
}

void TVaNetworkDevice::close() {
  std::unique_lock l(m_);
  if (closed_) return;
  closed_ = true;
  if (sock_) {
    sock_->shutdown();
    for (auto slot : {TVaSocket::EventSlot, TVaSocket::WriteSlot, TVaSocket::MainSlot}) sock_->wake(slot);
  }
  idle_.wait(l, [&] { return busy_ == 0; });
}

TVaServerLine TVaNetworkDevice::serverLine() {
  std::lock_guard input(inputM_);
  return server_;
}

TVaServerLine TVaNetworkDevice::queryServerLine(int timeoutMs) {
  if (!telnet()) return serverLine();
  {
    std::lock_guard input(inputM_);
    confirmed_ = 0;
  }
  sendControl(telnet::ComPortCommand(cpo::SetBaudRate, telnet::RateValue(0)) +
              telnet::ComPortCommand(cpo::SetDataSize, byteValue(0)) +
              telnet::ComPortCommand(cpo::SetParity, byteValue(0)) +
              telnet::ComPortCommand(cpo::SetStopSize, byteValue(0)));
  waitFor(TVaSocket::MainSlot, timeoutMs, [&] { return confirmed_ >= 4; });
  return serverLine();
}

// ---------------------------------------------------------------- arrivals

void TVaNetworkDevice::pump() {
  while (!lost_ && in_.size() < kReadAheadLimit) {
    uint8_t buf[4096];
    size_t got = 0;
    const int e = sock_->recv(buf, std::min(sizeof buf, kReadAheadLimit - in_.size()), got);
    if (e) {
      lost_ = e == ECONNRESET ? ECONNRESET : EIO;
      sock_->wake(TVaSocket::EventSlot);
      sock_->wake(TVaSocket::MainSlot);
    }
    if (got == 0) break;
    received(buf, got);
  }
}

void TVaNetworkDevice::received(const uint8_t* bytes, size_t count) {
  std::string data;
  if (telnet()) {
    telnet::Received r;
    decoder_.feed(bytes, count, r);
    for (const auto& [verb, option] : r.options) sendControl(negotiation_.answer(verb, option));
    for (const auto& sub : r.subnegotiations) comPortMessage(sub);
    data = std::move(r.data);
  } else {
    data.assign(reinterpret_cast<const char*>(bytes), count);
  }
  if (transform_) data = transform_->incoming(data);
  if (data.empty()) return;
  if (data.find(static_cast<char>(evtChar_.load())) != std::string::npos) flagPending_ = true;
  in_ += data;
}

void TVaNetworkDevice::comPortMessage(const std::string& sub) {
  if (sub.size() < 3 || static_cast<uint8_t>(sub[0]) != telnet::kComPort) return;
  const uint8_t code = static_cast<uint8_t>(sub[1]);
  if (code < cpo::kServerOffset) return;  // a server's request: nothing we serve
  const auto v = [&](size_t i) { return static_cast<uint8_t>(sub[2 + i]); };
  uint32_t events = 0, errors = 0;
  switch (code - cpo::kServerOffset) {
    case cpo::SetBaudRate:
      if (sub.size() < 6) return;
      server_.baudRate = (uint32_t{v(0)} << 24) | (uint32_t{v(1)} << 16) | (uint32_t{v(2)} << 8) | v(3);
      ++confirmed_;
      break;
    case cpo::SetDataSize: server_.dataSize = v(0), ++confirmed_; break;
    case cpo::SetParity: server_.parity = v(0), ++confirmed_; break;
    case cpo::SetStopSize: server_.stopSize = v(0), ++confirmed_; break;
    case cpo::SetControl: server_.control = true; break;
    case cpo::NotifyLineState: {
      const uint8_t s = v(0);
      if (s & telnet::line::Break) events |= ev::Break, errors |= ce::Break;
      if (s & telnet::line::Framing) events |= ev::Err, errors |= ce::Frame;
      if (s & telnet::line::Overrun) events |= ev::Err, errors |= ce::Overrun;
      if ((s & telnet::line::Parity) && checkParity_) events |= ev::Err, errors |= ce::RxParity;
      break;
    }
    case cpo::NotifyModemState: {
      const uint8_t s = v(0);
      if (s & telnet::modem::DeltaCts) events |= ev::Cts;
      if (s & telnet::modem::DeltaDsr) events |= ev::Dsr;
      if (s & telnet::modem::DeltaCd) events |= ev::Rlsd;
      if (s & telnet::modem::TrailingRing) events |= ev::Ring;
      break;
    }
    default: return;
  }
  errors_ |= errors;
  if (events) {
    events_ |= events;
    sock_->wake(TVaSocket::EventSlot);
  }
  sock_->wake(TVaSocket::MainSlot);
}

// ---------------------------------------------------------------- sending

int TVaNetworkDevice::flushLocked() {
  while (!pending_.empty()) {
    size_t sent = 0;
    const int e = sock_->send(reinterpret_cast<const uint8_t*>(pending_.data()), pending_.size(), sent);
    if (e) {
      lost_ = e == ECONNRESET ? ECONNRESET : EIO;
      sock_->wake(TVaSocket::EventSlot);
      return lost_;
    }
    if (sent == 0) break;
    pending_.erase(0, sent);
  }
  return 0;
}

void TVaNetworkDevice::sendControl(const std::string& bytes) {
  if (bytes.empty()) return;
  std::lock_guard s(sendM_);
  pending_ += bytes;
  flushLocked();
  // What the system could not take yet is sent by the event thread once there is room.
  if (!pending_.empty()) sock_->wake(TVaSocket::EventSlot);
}

bool TVaNetworkDevice::pendingOutput() {
  std::lock_guard s(sendM_);
  return !pending_.empty();
}

template <class Done>
bool TVaNetworkDevice::waitFor(TVaSocket::Slot slot, int timeoutMs, Done done) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    {
      std::lock_guard input(inputM_);
      pump();
      if (done()) return true;
    }
    if (lost_ || Clock::now() >= deadline) return false;
    {
      std::lock_guard l(m_);
      if (closed_) return false;
    }
    TVaSocket::Ready ready;
    if (sock_->wait(slot, true, pendingOutput(), msLeft(deadline), ready)) return false;
    if (ready.writable) {
      std::lock_guard s(sendM_);
      flushLocked();
    }
  }
}

// ---------------------------------------------------------------- the device interface

int TVaNetworkDevice::applyLineConfiguration(const TVaDcb& d) {
  const InProgress op(*this);
  if (!op) return EBADF;
  if (lost_) return lost_;
  evtChar_ = d.EvtChar;
  checkParity_ = d.Parity != 0 && (d.Flags & dcb::ParityCheck);
  if (!telnet()) return 0;  // a raw server keeps its own line settings
  {
    std::lock_guard input(inputM_);
    confirmed_ = 0;
  }
  sendControl(lineCommands(d));
  // Rate, size, parity and stop bits are confirmed one by one; the data that follows goes out
  // with them, so a server that is slow to confirm is not waited for beyond the bound.
  waitFor(TVaSocket::MainSlot, kConfirmMs, [&] { return confirmed_ >= 4; });
  return lost_;
}

int TVaNetworkDevice::setQueueSizes(uint32_t, uint32_t) { return InProgress(*this) ? 0 : EBADF; }
int TVaNetworkDevice::setNonBlockingTimeouts() { return InProgress(*this) ? 0 : EBADF; }

int TVaNetworkDevice::setEventMask(uint32_t mask) {
  const InProgress op(*this);
  if (!op) return EBADF;
  mask_ = mask;
  return 0;
}

int TVaNetworkDevice::waitEvent(uint32_t& events) {
  events = 0;
  const InProgress op(*this);
  if (!op) return EBADF;
  for (;;) {
    const uint32_t mask = mask_;
    int timeout = -1;
    int waiting = 0;
    bool full = false;
    {
      std::lock_guard input(inputM_);
      pump();
      waiting = static_cast<int>(in_.size());
      full = in_.size() >= kReadAheadLimit;
    }
    if (flagPending_.exchange(false) && (mask & ev::RxFlag)) events |= ev::RxFlag;
    // Someone read or purged since the last report: what waits now is worth a new report.
    const uint64_t consumed = consumed_.load();
    if (waiting < announced_ || consumed != consumedSeen_) announced_ = 0;
    consumedSeen_ = consumed;
    if (waiting > announced_ && (mask & ev::RxChar)) {
      announced_ = waiting;
      events |= ev::RxChar;
    }
    // Bytes announced but not read, or a full read-ahead: nothing on the socket tells when the
    // port has read, so look again at a slow pace.
    if (full || (waiting > 0 && waiting == announced_)) timeout = 10;
    events |= events_.exchange(0);
    if (txPending_ && (mask & ev::TxEmpty)) {
      if (!pendingOutput() && sock_->unacknowledged() == 0) {
        txPending_ = false;
        events |= ev::TxEmpty;
      } else {
        timeout = timeout < 0 ? 2 : std::min(timeout, 2);
      }
    }
    events &= mask;
    if (events) return 0;
    // The connection ended: bytes that came before it are reported first.
    if (lost_ && waiting <= announced_) return lost_;
    TVaSocket::Ready ready;
    if (const int e = sock_->wait(TVaSocket::EventSlot, !full && !lost_, pendingOutput(), timeout, ready)) return e;
    if (ready.writable) {
      std::lock_guard s(sendM_);
      flushLocked();
    }
    if (ready.woken) {
      {
        std::lock_guard l(m_);
        if (closed_) return EBADF;
      }
      if (cancel_.exchange(false)) return ECANCELED;
    }
  }
}

void TVaNetworkDevice::cancelWait() {
  cancel_ = true;
  sock_->wake(TVaSocket::EventSlot);
}

int TVaNetworkDevice::read(uint8_t* buf, size_t count, size_t& got) {
  got = 0;
  const InProgress op(*this);
  if (!op) return EBADF;
  {
    std::lock_guard input(inputM_);
    pump();
    got = std::min(count, in_.size());
    std::memcpy(buf, in_.data(), got);
    in_.erase(0, got);
  }
  if (got > 0) consumed_.fetch_add(1);
  return 0;
}

int TVaNetworkDevice::write(const uint8_t* data, size_t count, int timeoutMs, size_t& written,
                            const std::atomic<bool>* abort) {
  written = 0;
  const InProgress op(*this);
  if (!op) return EBADF;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  {
    std::lock_guard l(m_);
    ++writers_;
  }
  int e = 0;
  for (;;) {
    if (interrupt_.exchange(false) || (abort && *abort)) break;
    bool done = false;
    {
      // A piece is queued whole once the queue is empty, so a doubled IAC never splits from
      // its twin and the queue stays small; control commands queue between pieces.
      std::lock_guard s(sendM_);
      e = flushLocked();
      if (!e && pending_.empty() && written < count) {
        const size_t n = std::min<size_t>(count - written, 4096);
        const std::string piece(reinterpret_cast<const char*>(data + written), n);
        pending_ += telnet() ? telnet::EscapeData(data + written, n) : transform_ ? transform_->outgoing(piece) : piece;
        written += n;
        e = flushLocked();
      }
      done = e != 0 || (written == count && pending_.empty());
    }
    if (done) break;
    int wait = -1;
    if (timeoutMs >= 0) {
      wait = msLeft(deadline);
      if (wait == 0) break;
    }
    TVaSocket::Ready ready;
    if ((e = sock_->wait(TVaSocket::WriteSlot, false, true, wait, ready))) break;
    if (ready.woken) {
      std::lock_guard l(m_);
      if (closed_) break;
    }
  }
  {
    std::lock_guard l(m_);
    if (--writers_ == 0) interrupt_ = false;
  }
  if (written > 0) {
    txPending_ = true;
    if (mask_ & ev::TxEmpty) sock_->wake(TVaSocket::EventSlot);
  }
  return e;
}

void TVaNetworkDevice::interruptWrite() {
  std::lock_guard l(m_);
  if (writers_ == 0) return;
  interrupt_ = true;
  sock_->wake(TVaSocket::WriteSlot);
}

int TVaNetworkDevice::waitUntilSent(int timeoutMs) {
  const InProgress op(*this);
  if (!op) return EBADF;
  if (!waitFor(TVaSocket::MainSlot, timeoutMs, [&] { return !pendingOutput(); }))
    return lost_ ? lost_.load() : ETIMEDOUT;
  // What the server's line still has to send cannot be seen from here: the peer's
  // acknowledgement is as far as the wait reaches.
  return waitUntilDrained([&] { return sock_->unacknowledged(); }, timeoutMs) ? 0 : ETIMEDOUT;
}

int TVaNetworkDevice::clearError(uint32_t& errors, TVaComStat& stat) {
  errors = 0;
  stat = {};
  const InProgress op(*this);
  if (!op) return EBADF;
  errors = errors_.exchange(0);
  {
    std::lock_guard input(inputM_);
    stat.InQue = static_cast<uint32_t>(in_.size());
  }
  // Bytes handed to the system are on their way, as bytes in a UART's FIFO are.
  std::lock_guard s(sendM_);
  stat.OutQue = static_cast<uint32_t>(pending_.size());
  return 0;
}

int TVaNetworkDevice::purge(uint32_t flags) {
  const InProgress op(*this);
  if (!op) return EBADF;
  if (flags & purge::TxAbort) interruptWrite();
  if (flags & purge::RxClear) {
    // What has arrived so far came before the purge: it goes with the read-ahead.
    std::lock_guard input(inputM_);
    pump();
    in_.clear();
    if (transform_) transform_->reset();
  }
  if (flags & purge::RxClear) consumed_.fetch_add(1);
  const bool rx = flags & purge::RxClear, tx = flags & purge::TxClear;
  if (telnet() && (rx || tx))
    sendControl(telnet::ComPortCommand(cpo::PurgeData, byteValue(rx && tx ? value::PurgeBoth
                                                                 : rx     ? value::PurgeReceive
                                                                          : value::PurgeTransmit)));
  return lost_;
}

int TVaNetworkDevice::escape(uint32_t code) {
  const InProgress op(*this);
  if (!op) return EBADF;
  if (lost_) return lost_;
  if (!telnet()) return 0;  // a raw server has no lines to set
  uint8_t v = 0;
  switch (code) {
    case esc::SetDtr: v = value::DtrOn; break;
    case esc::ClrDtr: v = value::DtrOff; break;
    case esc::SetBreak: v = value::BreakOn; break;
    case esc::ClrBreak: v = value::BreakOff; break;
    // RTS around each request would reach the server's line after the request's bytes are
    // handed to its driver, not after they left it, and cut the frame short on a line whose
    // direction follows RTS: RTS stays as the line settings set it.
    case esc::SetRts:
    case esc::ClrRts:
    case esc::SetXoff:
    case esc::SetXon:
    case esc::ResetDev: return 0;
    default: return EINVAL;
  }
  sendControl(telnet::ComPortCommand(cpo::SetControl, byteValue(v)));
  return 0;
}

TVaDevicePtr OpenNetworkDevice(const std::string& url, int& err) {
  std::string why;
  const auto address = ParseNetworkUrl(url, why);
  if (!address || address->kind == TVaNetworkKind::ModbusTcp) {
    err = EINVAL;
    return nullptr;
  }
  return TVaNetworkDevice::open(*address, err);
}

}  // namespace ostrel::serial
