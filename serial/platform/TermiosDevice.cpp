#include "serial/platform/TermiosDevice.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "serial/platform/SystemDevice.h"

namespace ostrel::serial {

namespace {
// A modem-line or counter ioctl that the device does not have (a pseudo-terminal).
bool unsupported(int err) { return err == ENOTTY || err == EINVAL || err == ENOTSUP || err == ENOSYS; }

void signal(int efd) {
  uint64_t one = 1;
  [[maybe_unused]] ssize_t r = ::write(efd, &one, sizeof one);
}
void drain(int efd) {
  uint64_t v;
  [[maybe_unused]] ssize_t r = ::read(efd, &v, sizeof v);
}
int queued(int fd, unsigned long request) {
  int n = 0;
  return ioctl(fd, request, &n) == 0 ? n : 0;
}
// Milliseconds until the deadline (0 or less: passed).
int msLeft(std::chrono::steady_clock::time_point deadline) {
  using namespace std::chrono;
  return static_cast<int>(duration_cast<milliseconds>(deadline - steady_clock::now()).count());
}
}  // namespace

bool readDriverCounters(int fd, TVaLineCounters& c) {
  serial_icounter_struct ic{};
  if (ioctl(fd, TIOCGICOUNT, &ic) != 0) return false;
  c = {ic.cts, ic.dsr, ic.rng, ic.dcd, ic.frame, ic.overrun, ic.parity, ic.brk, ic.buf_overrun};
  return true;
}

int OpenTerminalExclusive(const std::string& path, int& err, bool* wasExclusive) {
  err = 0;
  int fd;
  do fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    err = errno;
    return -1;
  }
  auto fail = [&](int e) {
    ::close(fd);
    err = e;
    return -1;
  };
  if (!isatty(fd)) return fail(ENOTTY);
  // The exclusive mode belongs to the terminal, not to this descriptor: when the lock is
  // refused, the mode set here is cleared again, or nobody but root could open the device.
  int before = 0;
  if (ioctl(fd, TIOCGEXCL, &before) != 0) before = 0;
  if (wasExclusive) *wasExclusive = before != 0;
  if (ioctl(fd, TIOCEXCL) != 0) return fail(errno);
  int rc;
  do rc = flock(fd, LOCK_EX | LOCK_NB);
  while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    int e = errno == EWOULDBLOCK ? EBUSY : errno;
    if (!before) ioctl(fd, TIOCNXCL);
    return fail(e);
  }
  return fd;
}

void CloseTerminalExclusive(int fd, bool keepMode) {
  if (fd < 0) return;
  if (!keepMode) ioctl(fd, TIOCNXCL);
  flock(fd, LOCK_UN);
  ::close(fd);
}

std::shared_ptr<TVaTermiosDevice> TVaTermiosDevice::open(const std::string& path, int& err, TVaCounterReader counters) {
  const int fd = OpenTerminalExclusive(path, err);
  if (fd < 0) return nullptr;
  std::shared_ptr<TVaTermiosDevice> d(new TVaTermiosDevice);
  d->fd_ = fd;
  d->counters_ = counters ? std::move(counters) : readDriverCounters;
  d->waitWake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  d->writeWake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (d->waitWake_ < 0 || d->writeWake_ < 0) {
    err = errno;
    return nullptr;  // the destructor releases what was made
  }
  // The driver counts errors from the moment it was loaded: only those from now on are ours.
  d->countersOk_ = d->readCounters(d->querySeen_);
  d->waitSeen_ = d->querySeen_;
  struct stat st {};
  if (fstat(fd, &st) == 0 && S_ISCHR(st.st_mode)) {
    unsigned maj = major(st.st_rdev);
    // Linux gives the pseudo-terminals' slave ends the majors 136 to 143 (Unix 98 ptys), and
    // /dev/ptmx is 5:2. Such a device has no modem lines and holds no parity.
    d->pty_ = (maj >= 136 && maj <= 143) || (maj == 5 && minor(st.st_rdev) == 2);
  }
  return d;
}

TVaTermiosDevice::~TVaTermiosDevice() {
  close();
  if (waitWake_ >= 0) ::close(waitWake_);
  if (writeWake_ >= 0) ::close(writeWake_);
}

bool TVaTermiosDevice::enter() {
  std::lock_guard l(m_);
  if (closed_ || fd_ < 0) return false;
  ++busy_;
  return true;
}

void TVaTermiosDevice::leave() {
  std::lock_guard l(m_);
  if (--busy_ == 0) idle_.notify_all();
}

void TVaTermiosDevice::close() {
  std::unique_lock l(m_);
  if (closed_) return;
  closed_ = true;
  // Both wake descriptors stay readable from now on, so every wait in progress ends.
  if (waitWake_ >= 0) signal(waitWake_);
  if (writeWake_ >= 0) signal(writeWake_);
  idle_.wait(l, [&] { return busy_ == 0; });
  // A pseudo-terminal's slave keeps its exclusive mode while the far end stays open, which
  // would refuse the next connect as "busy": the mode goes with the close.
  CloseTerminalExclusive(fd_);
  fd_ = -1;
}

int TVaTermiosDevice::modemBits(unsigned long request, int bits) {
  if (ioctl(fd_, request, &bits) == 0) return 0;
  return unsupported(errno) ? 0 : errno;
}

int TVaTermiosDevice::applyLineConfiguration(const TVaDcb& d) {
  const InProgress op(*this);
  if (!op) return EBADF;
  int e = applyTermios2Fields(fd_, d.BaudRate, d.ByteSize, d.Parity, d.StopBits, d.Flags, d.XonChar, d.XoffChar, true);
  // A pseudo-terminal has no line and holds no parity: keep the rest of the settings.
  if (e == EINVAL && pty_)
    e = applyTermios2Fields(fd_, d.BaudRate, d.ByteSize, d.Parity, d.StopBits, d.Flags, d.XonChar, d.XoffChar, false);
  if (e == 0) {
    evtChar_ = d.EvtChar;
    checkParity_ = d.Parity != 0 && (d.Flags & dcb::ParityCheck);
    // DTR and RTS control modes: enable raises the line, disable drops it; handshake modes
    // are left to the driver (RTS handshake is CRTSCTS, DTR handshake has no equivalent).
    uint32_t dtr = d.Flags & dcb::DtrMask, rts = d.Flags & dcb::RtsMask;
    if (dtr != dcb::DtrHandshake) e = modemBits(dtr == dcb::DtrEnable ? TIOCMBIS : TIOCMBIC, TIOCM_DTR);
    if (e == 0 && rts != dcb::RtsHandshake && rts != dcb::RtsToggle)
      e = modemBits(rts == dcb::RtsEnable ? TIOCMBIS : TIOCMBIC, TIOCM_RTS);
  }
  return e;
}

int TVaTermiosDevice::setQueueSizes(uint32_t, uint32_t) {
  // The tty layer's queues have fixed sizes; there is nothing to ask for.
  return InProgress(*this) ? 0 : EBADF;
}

int TVaTermiosDevice::setNonBlockingTimeouts() {
  // The descriptor is non-blocking and VMIN = VTIME = 0: reads return what has arrived.
  return InProgress(*this) ? 0 : EBADF;
}

int TVaTermiosDevice::setEventMask(uint32_t mask) {
  const InProgress op(*this);
  if (!op) return EBADF;
  mask_ = mask;
  countersOk_ = readCounters(waitSeen_);
  return 0;
}

size_t TVaTermiosDevice::waitingInput() {
  std::lock_guard l(inputM_);
  return ahead_.size() + static_cast<size_t>(queued(fd_, FIONREAD));
}

size_t TVaTermiosDevice::fillAhead(int& err) {
  // A terminal's input cannot be looked at without reading it: move what has arrived into
  // the read-ahead (bounded; the rest waits in the terminal) and look for the character there.
  const char evtChar = static_cast<char>(evtChar_.load());
  size_t added = 0;
  while (ahead_.size() < kReadAheadLimit) {
    char buf[4096];
    ssize_t r = ::read(fd_, buf, std::min(sizeof buf, kReadAheadLimit - ahead_.size()));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && errno != EAGAIN) err = errno;
    if (r <= 0) break;
    if (std::memchr(buf, evtChar, static_cast<size_t>(r))) flagPending_ = true;
    ahead_.append(buf, static_cast<size_t>(r));
    added += static_cast<size_t>(r);
  }
  return added;
}

uint32_t TVaTermiosDevice::inputEvents(uint32_t mask, bool& watchInput, int& timeout) {
  uint32_t events = 0;
  if (mask & ev::RxFlag) {
    std::lock_guard input(inputM_);
    int ignored = 0;  // a lost device shows in the poll
    fillAhead(ignored);
    if (flagPending_.exchange(false)) events |= ev::RxFlag;
  }
  const int now = static_cast<int>(waitingInput());
  // Someone read or purged since the last report: whatever waits now is worth a new report
  // (the count alone cannot tell, a full queue has the same count before and after).
  const uint64_t consumed = consumed_.load();
  if (now < announced_ || consumed != consumedSeen_) announced_ = 0;
  consumedSeen_ = consumed;
  if (now > announced_ && (mask & ev::RxChar)) {
    announced_ = now;
    events |= ev::RxChar;
  }
  if (now > 0 && now == announced_) {
    // Unread bytes that were already announced: level-triggered POLLIN would fire at once,
    // so look again at a slow pace until they are read or more arrive.
    watchInput = false;
    timeout = 10;
  }
  return events;
}

uint32_t TVaTermiosDevice::transmitEvents(uint32_t mask, int& timeout) {
  if (!(mask & ev::TxEmpty) || !txPending_) return 0;
  if (queued(fd_, TIOCOUTQ) == 0) {
    txPending_ = false;
    return ev::TxEmpty;
  }
  timeout = timeout < 0 ? 2 : std::min(timeout, 2);
  return 0;
}

uint32_t TVaTermiosDevice::lineEvents(uint32_t mask, int& timeout) {
  constexpr uint32_t kLineEvents = ev::Cts | ev::Dsr | ev::Rlsd | ev::Ring | ev::Break | ev::Err;
  if (!countersOk_ || !(mask & kLineEvents)) return 0;
  uint32_t events = 0;
  Counters c{};
  if (readCounters(c)) {
    if (c.cts != waitSeen_.cts) events |= ev::Cts;
    if (c.dsr != waitSeen_.dsr) events |= ev::Dsr;
    if (c.dcd != waitSeen_.dcd) events |= ev::Rlsd;
    if (c.rng != waitSeen_.rng) events |= ev::Ring;
    if (c.brk != waitSeen_.brk) events |= ev::Break;
    if (c.frame != waitSeen_.frame || c.overrun != waitSeen_.overrun ||
        (checkParity_ && c.parity != waitSeen_.parity) || c.bufOverrun != waitSeen_.bufOverrun)
      events |= ev::Err;
    waitSeen_ = c;
  }
  // Modem lines change without waking poll: look at the counters now and then.
  if (mask & (ev::Cts | ev::Dsr | ev::Rlsd | ev::Ring)) timeout = timeout < 0 ? 20 : std::min(timeout, 20);
  return events;
}

int TVaTermiosDevice::pollOnce(bool watchInput, int timeout) {
  pollfd p[2] = {{fd_, static_cast<short>(watchInput ? POLLIN : 0), 0}, {waitWake_, POLLIN, 0}};
  if (poll(p, 2, timeout) < 0) return errno == EINTR ? 0 : errno;
  if (p[1].revents & POLLIN) {
    {
      std::lock_guard l(m_);
      if (closed_) return EBADF;
    }
    drain(waitWake_);
    if (cancel_.exchange(false)) return ECANCELED;
    return 0;  // a write started: look at the output queue
  }
  // The far end closed or the adapter is gone; bytes still waiting are reported first.
  if ((p[0].revents & (POLLHUP | POLLERR | POLLNVAL)) && static_cast<int>(waitingInput()) <= announced_)
    return (p[0].revents & POLLNVAL) ? EBADF : EIO;
  return 0;
}

int TVaTermiosDevice::waitEvent(uint32_t& events) {
  events = 0;
  const InProgress op(*this);
  if (!op) return EBADF;
  for (;;) {
    const uint32_t mask = mask_;
    int timeout = -1;
    bool watchInput = (mask & (ev::RxChar | ev::RxFlag | ev::Err | ev::Break)) != 0;
    events = inputEvents(mask, watchInput, timeout);
    events |= transmitEvents(mask, timeout);
    events |= lineEvents(mask, timeout);
    events &= mask;
    if (events) return 0;
    if (const int end = pollOnce(watchInput, timeout)) return end;
  }
}

void TVaTermiosDevice::cancelWait() {
  cancel_ = true;
  std::lock_guard l(m_);
  if (waitWake_ >= 0) signal(waitWake_);
}

int TVaTermiosDevice::read(uint8_t* buf, size_t count, size_t& got) {
  got = 0;
  const InProgress op(*this);
  if (!op) return EBADF;
  int e = 0;
  std::unique_lock input(inputM_);
  // While the event character is looked for, every byte passes the read-ahead first, so none
  // escapes the look; bytes read ahead come first in any case: they arrived first.
  const bool look = (mask_.load() & ev::RxFlag) != 0;
  for (;;) {
    size_t n = std::min(count - got, ahead_.size());
    std::memcpy(buf + got, ahead_.data(), n);
    ahead_.erase(0, n);
    got += n;
    if (got == count || !look || fillAhead(e) == 0) break;
  }
  if (look && flagPending_) signal(waitWake_);
  while (!look && got < count) {
    ssize_t r = ::read(fd_, buf + got, count - got);
    if (r > 0) {
      got += static_cast<size_t>(r);
      continue;
    }
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && errno != EAGAIN) e = errno;
    break;
  }
  input.unlock();
  if (got > 0) consumed_.fetch_add(1);
  return got > 0 ? 0 : e;
}

int TVaTermiosDevice::write(const uint8_t* data, size_t count, int timeoutMs, size_t& written,
                            const std::atomic<bool>* abort) {
  written = 0;
  const InProgress op(*this);
  if (!op) return EBADF;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  int e = 0;
  beginWrite();
  while (written < count && !(interrupt_.exchange(false) || (abort && *abort))) {
    ssize_t r = ::write(fd_, data + written, count - written);
    if (r > 0) {
      written += static_cast<size_t>(r);
      continue;
    }
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && errno != EAGAIN) {
      e = errno;
      break;
    }
    int wait = -1;
    if (timeoutMs >= 0 && (wait = msLeft(deadline)) <= 0) break;
    if (!awaitWritable(wait, e)) break;
  }
  endWrite(written);
  return e;
}

void TVaTermiosDevice::beginWrite() {
  std::lock_guard l(m_);
  ++writers_;
}

bool TVaTermiosDevice::awaitWritable(int wait, int& e) {
  pollfd p[2] = {{fd_, POLLOUT, 0}, {writeWake_, POLLIN, 0}};
  if (poll(p, 2, wait) < 0 && errno != EINTR) {
    e = errno;
    return false;
  }
  if (p[1].revents & POLLIN) {
    std::lock_guard l(m_);
    if (closed_) return false;
    drain(writeWake_);
  }
  if (p[0].revents & (POLLHUP | POLLERR | POLLNVAL) && !(p[0].revents & POLLOUT)) {
    e = EIO;
    return false;
  }
  return true;
}

void TVaTermiosDevice::endWrite(size_t written) {
  {
    // An abort applies to the writes in progress only, never to a later one.
    std::lock_guard l(m_);
    if (--writers_ == 0) interrupt_ = false;
  }
  if (written > 0) {
    txPending_ = true;
    if (mask_ & ev::TxEmpty) signal(waitWake_);
  }
}

void TVaTermiosDevice::interruptWrite() {
  std::lock_guard l(m_);
  if (writers_ == 0) return;  // nothing to abort: the next write must go out whole
  interrupt_ = true;
  if (writeWake_ >= 0) signal(writeWake_);
}

int TVaTermiosDevice::waitUntilSent(int timeoutMs) {
  const InProgress op(*this);
  if (!op) return EBADF;
  // The driver's queue first, watched for progress: a slow line is waited for as long as bytes
  // keep leaving, a stalled one only timeoutMs. Then tcdrain for what the hardware still holds;
  // under hardware flow control that could stall without end, so it is left out there.
  int e = waitUntilDrained([&] { return queued(fd_, TIOCOUTQ); }, timeoutMs) ? 0 : ETIMEDOUT;
  termios t{};
  if (e == 0 && tcgetattr(fd_, &t) == 0 && !(t.c_cflag & CRTSCTS) && tcdrain(fd_) != 0) e = errno;
  return e;
}

int TVaTermiosDevice::clearError(uint32_t& errors, TVaComStat& stat) {
  errors = 0;
  stat = {};
  const InProgress op(*this);
  if (!op) return EBADF;
  Counters c{};
  if (readCounters(c)) {
    if (c.bufOverrun != querySeen_.bufOverrun) errors |= ce::RxOver;
    if (c.overrun != querySeen_.overrun) errors |= ce::Overrun;
    if (checkParity_ && c.parity != querySeen_.parity) errors |= ce::RxParity;
    if (c.frame != querySeen_.frame) errors |= ce::Frame;
    if (c.brk != querySeen_.brk) errors |= ce::Break;
    querySeen_ = c;
  }
  stat.InQue = static_cast<uint32_t>(waitingInput());
  stat.OutQue = static_cast<uint32_t>(queued(fd_, TIOCOUTQ));
  return 0;
}

int TVaTermiosDevice::purge(uint32_t flags) {
  const InProgress op(*this);
  if (!op) return EBADF;
  int e = 0;
  if (flags & purge::TxAbort) interruptWrite();
  int q = -1;
  if ((flags & purge::TxClear) && (flags & purge::RxClear))
    q = TCIOFLUSH;
  else if (flags & purge::TxClear)
    q = TCOFLUSH;
  else if (flags & purge::RxClear)
    q = TCIFLUSH;
  {
    std::lock_guard input(inputM_);
    if (flags & purge::RxClear) ahead_.clear();
    if (q >= 0 && tcflush(fd_, q) != 0) e = errno;
  }
  if (flags & purge::RxClear) consumed_.fetch_add(1);
  return e;
}

int TVaTermiosDevice::escape(uint32_t code) {
  const InProgress op(*this);
  if (!op) return EBADF;
  int e = 0;
  switch (code) {
    case esc::SetXoff: e = tcflow(fd_, TCOOFF) == 0 ? 0 : errno; break;
    case esc::SetXon: e = tcflow(fd_, TCOON) == 0 ? 0 : errno; break;
    case esc::SetRts: e = modemBits(TIOCMBIS, TIOCM_RTS); break;
    case esc::ClrRts: e = modemBits(TIOCMBIC, TIOCM_RTS); break;
    case esc::SetDtr: e = modemBits(TIOCMBIS, TIOCM_DTR); break;
    case esc::ClrDtr: e = modemBits(TIOCMBIC, TIOCM_DTR); break;
    case esc::ResetDev: break;  // no device reset on this platform
    case esc::SetBreak: e = ioctl(fd_, TIOCSBRK) == 0 || unsupported(errno) ? 0 : errno; break;
    case esc::ClrBreak: e = ioctl(fd_, TIOCCBRK) == 0 || unsupported(errno) ? 0 : errno; break;
    default: e = EINVAL;
  }
  return e;
}

}  // namespace ostrel::serial

namespace ostrel::serial {

TVaDevicePtr OpenLocalDevice(const std::string& name, int& err) { return TVaTermiosDevice::open(name, err); }

}  // namespace ostrel::serial
