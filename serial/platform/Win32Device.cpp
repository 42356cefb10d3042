#include "serial/platform/Win32Device.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <thread>

#include "serial/platform/SystemDevice.h"

namespace ostrel::serial {

// The interface's event, error, purge and escape values are the system's own, so they pass
// through unchanged.
static_assert(ev::RxChar == EV_RXCHAR && ev::RxFlag == EV_RXFLAG && ev::TxEmpty == EV_TXEMPTY && ev::Cts == EV_CTS &&
              ev::Dsr == EV_DSR && ev::Rlsd == EV_RLSD && ev::Break == EV_BREAK && ev::Err == EV_ERR &&
              ev::Ring == EV_RING && ev::PErr == EV_PERR && ev::Rx80Full == EV_RX80FULL && ev::Event1 == EV_EVENT1 &&
              ev::Event2 == EV_EVENT2);
static_assert(ce::RxOver == CE_RXOVER && ce::Overrun == CE_OVERRUN && ce::RxParity == CE_RXPARITY &&
              ce::Frame == CE_FRAME && ce::Break == CE_BREAK);
static_assert(purge::TxAbort == PURGE_TXABORT && purge::RxAbort == PURGE_RXABORT && purge::TxClear == PURGE_TXCLEAR &&
              purge::RxClear == PURGE_RXCLEAR);
static_assert(esc::SetXoff == SETXOFF && esc::SetXon == SETXON && esc::SetRts == SETRTS && esc::ClrRts == CLRRTS &&
              esc::SetDtr == SETDTR && esc::ClrDtr == CLRDTR && esc::ResetDev == RESETDEV &&
              esc::SetBreak == SETBREAK && esc::ClrBreak == CLRBREAK);

namespace {

constexpr DWORD kErrorNoSuchDevice = 433;  // not named by every SDK's headers

struct Win32Errno {
  DWORD code;
  int err;
};
// What each system error means to the port. A device that went away answers ENODEV or EIO,
// which the port reports once as lost.
constexpr Win32Errno kErrnoOf[] = {
    {ERROR_FILE_NOT_FOUND, ENOENT},
    {ERROR_PATH_NOT_FOUND, ENOENT},
    {ERROR_INVALID_NAME, ENOENT},
    {ERROR_ACCESS_DENIED, EBUSY},  // a port another program holds answers "access denied"
    {ERROR_SHARING_VIOLATION, EBUSY},
    {ERROR_INVALID_PARAMETER, EINVAL},
    {ERROR_OPERATION_ABORTED, ECANCELED},
    {ERROR_INVALID_HANDLE, EBADF},
    {ERROR_NOT_ENOUGH_MEMORY, ENOMEM},
    {ERROR_OUTOFMEMORY, ENOMEM},
    {ERROR_NOT_SUPPORTED, ENOTSUP},
    {ERROR_INVALID_FUNCTION, ENOTSUP},
    {ERROR_SEM_TIMEOUT, ETIMEDOUT},
    {ERROR_DEVICE_REMOVED, ENODEV},
    {ERROR_DEVICE_NOT_CONNECTED, ENODEV},
    {kErrorNoSuchDevice, ENODEV},
    {ERROR_BAD_COMMAND, EIO},
    {ERROR_GEN_FAILURE, EIO},
    {ERROR_NOT_READY, EIO},
    {ERROR_BROKEN_PIPE, EIO},
};

// The errno of the last error: lastErrno while opening, deviceErrno for a call on the open device.
int lastErrno() { return ErrnoFromWin32(GetLastError()); }
int deviceErrno() { return ErrnoOfOpenDevice(GetLastError()); }

HANDLE manualResetEvent() { return CreateEventA(nullptr, TRUE, FALSE, nullptr); }

void closeIfValid(TVaWin32Device::Handle h) {
  if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

// How long a cancelled operation is given to end before the cancel is repeated.
constexpr DWORD kCancelAgainMs = 10;

// The overlapped record of one read or write, with its own completion event. The record never
// goes while the driver may still write into it: a pending operation is cancelled first and
// waited for.
class Overlapped {
 public:
  explicit Overlapped(HANDLE device) : device_(device) { ov_.hEvent = manualResetEvent(); }
  ~Overlapped() {
    cancel();
    closeIfValid(ov_.hEvent);
  }
  Overlapped(const Overlapped&) = delete;
  Overlapped& operator=(const Overlapped&) = delete;

  bool ok() const { return ov_.hEvent != nullptr; }
  OVERLAPPED* get() { return &ov_; }
  HANDLE event() const { return ov_.hEvent; }
  bool pending() const { return pending_; }
  // Takes the result of the call that began the operation: 0 when it finished or is pending,
  // else the system error.
  DWORD began(BOOL finished) {
    if (finished) return 0;
    const DWORD e = GetLastError();
    if (e != ERROR_IO_PENDING) return e;
    pending_ = true;
    return 0;
  }
  // The bytes moved by a finished operation, and its system error (0 on success).
  DWORD result(DWORD& moved) {
    pending_ = false;
    moved = 0;
    return GetOverlappedResult(device_, &ov_, &moved, FALSE) ? 0 : GetLastError();
  }
  // Ends a pending operation and waits until it has ended; returns the bytes it moved. Under
  // wine a cancel can miss an operation that is between two of its steps (CancelIoEx then
  // finds nothing, and a write to a full line would never end): it is repeated until the
  // operation has ended.
  DWORD cancel() {
    if (!pending_) return 0;
    do CancelIoEx(device_, &ov_);
    while (WaitForSingleObject(ov_.hEvent, kCancelAgainMs) == WAIT_TIMEOUT);
    DWORD moved = 0;
    GetOverlappedResult(device_, &ov_, &moved, TRUE);
    pending_ = false;
    return moved;
  }

 private:
  HANDLE device_;
  OVERLAPPED ov_{};
  bool pending_ = false;
};

bool flag(uint32_t flags, uint32_t bit) { return (flags & bit) != 0; }

DCB toSystemDcb(const TVaDcb& v) {
  DCB d{};
  d.DCBlength = sizeof d;
  d.BaudRate = v.BaudRate;
  const uint32_t f = v.Flags;
  d.fBinary = flag(f, dcb::Binary);
  d.fParity = flag(f, dcb::ParityCheck);
  d.fOutxCtsFlow = flag(f, dcb::OutxCtsFlow);
  d.fOutxDsrFlow = flag(f, dcb::OutxDsrFlow);
  d.fDtrControl = (f & dcb::DtrMask) / dcb::DtrEnable;
  d.fDsrSensitivity = flag(f, dcb::DsrSensitivity);
  d.fTXContinueOnXoff = flag(f, dcb::TxContinueOnXoff);
  d.fOutX = flag(f, dcb::OutX);
  d.fInX = flag(f, dcb::InX);
  d.fErrorChar = flag(f, dcb::ErrorChar);
  d.fNull = flag(f, dcb::Null);
  d.fRtsControl = (f & dcb::RtsMask) / dcb::RtsEnable;
  d.XonLim = v.XonLim;
  d.XoffLim = v.XoffLim;
  d.ByteSize = v.ByteSize;
  d.Parity = v.Parity;
  d.StopBits = v.StopBits;
  d.XonChar = static_cast<char>(v.XonChar);
  d.XoffChar = static_cast<char>(v.XoffChar);
  d.ErrorChar = static_cast<char>(v.ErrorChar);
  d.EofChar = static_cast<char>(v.EofChar);
  d.EvtChar = static_cast<char>(v.EvtChar);
  return d;
}

uint32_t holdBits(const COMSTAT& s) {
  return s.fCtsHold | s.fDsrHold << 1 | s.fRlsdHold << 2 | s.fXoffHold << 3 | s.fXoffSent << 4 | s.fEof << 5 |
         s.fTxim << 6;
}

// Escapes that move a modem line or the break state. A port without lines (a virtual one)
// refuses them as unsupported; that is no error, or every Modbus request would fail there.
bool movesALine(uint32_t code) {
  switch (code) {
    case esc::SetRts:
    case esc::ClrRts:
    case esc::SetDtr:
    case esc::ClrDtr:
    case esc::SetBreak:
    case esc::ClrBreak: return true;
    default: return false;
  }
}

// Longest wait for a device wait to end once it has been told to.
constexpr DWORD kEndWaitMs = 2000;

}  // namespace

int ErrnoFromWin32(uint32_t code) {
  for (const auto& [win, err] : kErrnoOf)
    if (win == code) return err;
  return EIO;
}

int ErrnoOfOpenDevice(uint32_t code) {
  // At the open "access denied" means another program holds the port. On a handle that is
  // open already it means the device has gone: the drivers of USB adapters answer every call
  // so once the adapter is pulled.
  return code == ERROR_ACCESS_DENIED ? ENODEV : ErrnoFromWin32(code);
}

uint32_t CharacterMicros(const TVaDcb& d) {
  if (d.BaudRate == 0) return 0;
  // Start bit, data bits, parity bit, and one, one and a half or two stop bits (StopBits 0, 1
  // and 2), counted in half bits.
  const uint32_t halfBits = 2 * (1 + d.ByteSize + (d.Parity != 0 ? 1 : 0)) + d.StopBits + 2;
  return static_cast<uint32_t>((halfBits * 1000000ull / 2 + d.BaudRate - 1) / d.BaudRate);
}

std::string Win32DevicePath(const std::string& name) {
  auto upper = [](unsigned char c) { return static_cast<char>(std::toupper(c)); };
  const bool com = name.size() > 3 &&
                   std::equal(name.begin(), name.begin() + 3, "COM",
                              [&](char a, char b) { return upper(static_cast<unsigned char>(a)) == b; }) &&
                   std::all_of(name.begin() + 3, name.end(), [](unsigned char c) { return std::isdigit(c); });
  return com ? "\\\\.\\" + name : name;
}

// The event wait's record: it belongs to the device, so a wait the driver has not given back
// yet (it ends at the latest when the handle is closed) never writes into released memory.
struct TVaWin32Device::WaitRecord {
  OVERLAPPED ov{};
  DWORD events = 0;
  bool pending = false;
  uint32_t maskChanges = 0;  // the device's count of mask changes when the wait began
};

std::shared_ptr<TVaWin32Device> TVaWin32Device::open(const std::string& name, int& err) {
  err = 0;
  const std::string path = Win32DevicePath(name);
  HANDLE h =
      CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    err = lastErrno();
    return nullptr;
  }
  std::shared_ptr<TVaWin32Device> d(new TVaWin32Device);
  d->h_ = h;
  DCB probe{};
  probe.DCBlength = sizeof probe;
  if (!GetCommState(h, &probe)) {
    err = ENOTTY;  // a file or a device without a line; the destructor closes it
    return nullptr;
  }
  d->wait_ = std::make_unique<WaitRecord>();
  d->wait_->ov.hEvent = manualResetEvent();
  d->closeEvent_ = manualResetEvent();
  d->cancelEvent_ = manualResetEvent();
  d->interruptEvent_ = manualResetEvent();
  if (!d->wait_->ov.hEvent || !d->closeEvent_ || !d->cancelEvent_ || !d->interruptEvent_) {
    err = lastErrno();
    return nullptr;
  }
  return d;
}

TVaWin32Device::~TVaWin32Device() {
  close();
  if (wait_ && wait_->pending) WaitForSingleObject(wait_->ov.hEvent, kEndWaitMs);  // ended by the close
  if (wait_) closeIfValid(wait_->ov.hEvent);
  closeIfValid(closeEvent_);
  closeIfValid(cancelEvent_);
  closeIfValid(interruptEvent_);
}

bool TVaWin32Device::enter() {
  std::lock_guard l(m_);
  if (closed_ || !wait_) return false;
  ++busy_;
  return true;
}

void TVaWin32Device::leave() {
  std::lock_guard l(m_);
  if (--busy_ == 0) idle_.notify_all();
}

void TVaWin32Device::close() {
  std::unique_lock l(m_);
  if (closed_) return;
  closed_ = true;
  // The close event stays set from now on, so every wait in progress ends.
  if (closeEvent_) SetEvent(closeEvent_);
  idle_.wait(l, [&] { return busy_ == 0; });
  closeIfValid(h_);
  h_ = INVALID_HANDLE_VALUE;
}

TVaWin32Device::Writing::Writing(TVaWin32Device& d) : d_(d) {
  std::lock_guard l(d_.m_);
  ++d_.writers_;
}

TVaWin32Device::Writing::~Writing() {
  // An interrupt applies to the writes in progress only, never to a later one.
  std::lock_guard l(d_.m_);
  if (--d_.writers_ == 0) ResetEvent(d_.interruptEvent_);
}

int TVaWin32Device::applyLineConfiguration(const TVaDcb& v) {
  const InProgress op(*this);
  if (!op) return EBADF;
  if (!stopBitsFit(v.ByteSize, v.StopBits)) return EINVAL;
  DCB d = toSystemDcb(v);
  if (!SetCommState(h_, &d)) return deviceErrno();
  characterMicros_ = CharacterMicros(v);
  return 0;
}

int TVaWin32Device::setQueueSizes(uint32_t inSize, uint32_t outSize) {
  const InProgress op(*this);
  if (!op) return EBADF;
  return SetupComm(h_, inSize, outSize) ? 0 : deviceErrno();
}

int TVaWin32Device::setNonBlockingTimeouts() {
  const InProgress op(*this);
  if (!op) return EBADF;
  // A read returns at once with what has arrived; a write has no time-out of the device's.
  COMMTIMEOUTS t{};
  t.ReadIntervalTimeout = MAXDWORD;
  return SetCommTimeouts(h_, &t) ? 0 : deviceErrno();
}

int TVaWin32Device::setEventMask(uint32_t mask) {
  const InProgress op(*this);
  if (!op) return EBADF;
  // Ends a device wait in progress, which then begins again with the new mask.
  ++maskChanges_;
  mask_ = mask;
  return SetCommMask(h_, mask) ? 0 : deviceErrno();
}

bool TVaWin32Device::takeCancel() {
  if (WaitForSingleObject(cancelEvent_, 0) != WAIT_OBJECT_0) return false;
  ResetEvent(cancelEvent_);
  return true;
}

int TVaWin32Device::startWait() {
  WaitRecord& w = *wait_;
  if (w.pending) return 0;  // one that did not end when told to: wait for it instead
  ResetEvent(w.ov.hEvent);
  w.ov.Internal = w.ov.InternalHigh = 0;
  w.events = 0;
  w.maskChanges = maskChanges_;
  if (WaitCommEvent(h_, &w.events, &w.ov)) {
    SetEvent(w.ov.hEvent);  // finished at once: the record holds the events
    w.ov.Internal = 0;
  } else if (const DWORD e = GetLastError(); e != ERROR_IO_PENDING) {
    // Nobody asked for an abort here: the device cannot wait (it has gone, or it lacks what
    // waiting needs). Retrying would only fail again at once.
    return e == ERROR_OPERATION_ABORTED ? EIO : ErrnoOfOpenDevice(e);
  }
  w.pending = true;
  return 0;
}

void TVaWin32Device::endWait() {
  WaitRecord& w = *wait_;
  if (!w.pending) return;
  // Setting the mask ends a pending wait everywhere; CancelIoEx does not under wine.
  SetCommMask(h_, mask_);
  if (WaitForSingleObject(w.ov.hEvent, kEndWaitMs) != WAIT_OBJECT_0) {
    CancelIoEx(h_, &w.ov);
    if (WaitForSingleObject(w.ov.hEvent, kEndWaitMs) != WAIT_OBJECT_0) return;  // the next wait takes it over
  }
  w.pending = false;
}

int TVaWin32Device::finishWait(uint32_t& events, bool& again) {
  WaitRecord& w = *wait_;
  w.pending = false;
  events = 0;
  again = false;
  DWORD unused = 0;
  if (!GetOverlappedResult(h_, &w.ov, &unused, FALSE)) {
    const DWORD e = GetLastError();
    // A mask change may end the wait as aborted rather than with no events.
    if (e == ERROR_OPERATION_ABORTED && maskChanges_ != w.maskChanges) {
      again = true;
      return 0;
    }
    return e == ERROR_OPERATION_ABORTED ? EIO : ErrnoOfOpenDevice(e);
  }
  events = w.events & mask_;
  again = events == 0;  // the mask changed, or only events nobody asked for
  return 0;
}

int TVaWin32Device::waitEvent(uint32_t& events) {
  events = 0;
  const InProgress op(*this);
  if (!op) return EBADF;
  for (;;) {
    if (takeCancel()) return ECANCELED;
    if (const int e = startWait()) return e;
    HANDLE ends[] = {wait_->ov.hEvent, closeEvent_, cancelEvent_};
    const DWORD r = WaitForMultipleObjects(3, ends, FALSE, INFINITE);
    if (r != WAIT_OBJECT_0) {
      endWait();
      if (r == WAIT_OBJECT_0 + 2 && takeCancel()) return ECANCELED;
      return EBADF;  // closed, or the wait itself failed
    }
    bool again = false;
    if (const int e = finishWait(events, again)) return e;
    if (!again) return 0;
  }
}

void TVaWin32Device::cancelWait() {
  std::lock_guard l(m_);
  if (cancelEvent_) SetEvent(cancelEvent_);
}

int TVaWin32Device::read(uint8_t* buf, size_t count, size_t& got) {
  got = 0;
  const InProgress op(*this);
  if (!op) return EBADF;
  // Only what has arrived is asked for, so the read ends at once: with nothing there, wine
  // lets an overlapped read wait for the next byte despite the time-outs.
  int err = 0;
  const DWORD n = static_cast<DWORD>(std::min<size_t>({count, queues(err).InQue, MAXDWORD}));
  if (err || n == 0) return err;
  Overlapped o(h_);
  if (!o.ok()) return deviceErrno();
  if (const DWORD e = o.began(ReadFile(h_, buf, n, nullptr, o.get()))) return ErrnoOfOpenDevice(e);
  if (o.pending()) {
    HANDLE ends[] = {o.event(), closeEvent_};
    if (WaitForMultipleObjects(2, ends, FALSE, INFINITE) != WAIT_OBJECT_0) {
      got = o.cancel();
      return got > 0 ? 0 : EBADF;
    }
  }
  DWORD moved = 0;
  const DWORD e = o.result(moved);
  got = moved;
  return e && moved == 0 ? ErrnoOfOpenDevice(e) : 0;
}

int TVaWin32Device::writePart(const uint8_t* data, uint32_t count, uint32_t waitMs, uint32_t& taken, bool& stop) {
  taken = 0;
  stop = false;
  Overlapped o(h_);
  if (!o.ok()) return deviceErrno();
  if (const DWORD e = o.began(WriteFile(h_, data, count, nullptr, o.get()))) return ErrnoOfOpenDevice(e);
  if (o.pending()) {
    HANDLE ends[] = {o.event(), closeEvent_, interruptEvent_};
    if (WaitForMultipleObjects(3, ends, FALSE, waitMs) != WAIT_OBJECT_0) {
      // Time is up, the write was interrupted or the device closed: what went out counts.
      taken = o.cancel();
      stop = true;
      return 0;
    }
  }
  DWORD moved = 0;
  const DWORD e = o.result(moved);
  taken = moved;
  if (e == ERROR_OPERATION_ABORTED) {  // a purge aborted it
    stop = true;
    return 0;
  }
  return e ? ErrnoOfOpenDevice(e) : 0;
}

int TVaWin32Device::write(const uint8_t* data, size_t count, int timeoutMs, size_t& written,
                          const std::atomic<bool>* abort) {
  written = 0;
  const InProgress op(*this);
  if (!op) return EBADF;
  const Writing w(*this);
  using clock = std::chrono::steady_clock;
  const auto deadline = clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  while (written < count) {
    if (abort && *abort) break;
    DWORD waitMs = INFINITE;
    if (timeoutMs >= 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
      waitMs = static_cast<DWORD>(std::max<long long>(left, 0));
    }
    const uint32_t part = static_cast<uint32_t>(std::min<size_t>(count - written, MAXDWORD));
    uint32_t taken = 0;
    bool stop = false;
    const int e = writePart(data + written, part, waitMs, taken, stop);
    written += taken;
    if (e) return e;
    // A part that took nothing finished by a device time-out of someone else's settings.
    if (stop || taken == 0) break;
  }
  return 0;
}

void TVaWin32Device::interruptWrite() {
  std::lock_guard l(m_);
  if (writers_ == 0) return;  // nothing to interrupt: the next write must go out whole
  SetEvent(interruptEvent_);
}

TVaComStat TVaWin32Device::queues(int& err) {
  DWORD errors = 0;
  COMSTAT s{};
  if (!ClearCommError(h_, &errors, &s)) err = deviceErrno();
  keptErrors_ |= errors;
  return {holdBits(s), s.cbInQue, s.cbOutQue};
}

int TVaWin32Device::waitUntilSent(int timeoutMs) {
  const InProgress op(*this);
  if (!op) return EBADF;
  int err = 0;
  const bool drained = waitUntilDrained([&] { return queues(err).OutQue; }, timeoutMs);
  if (err) return err;
  if (!drained) return ETIMEDOUT;
  // The output queue's count leaves out the character the UART is still shifting out; a
  // sender that paces its bytes (a Modbus request) has no more than that one on its way.
  std::this_thread::sleep_for(std::chrono::microseconds(characterMicros_.load()));
  return 0;
}

int TVaWin32Device::clearError(uint32_t& errors, TVaComStat& stat) {
  errors = 0;
  stat = {};
  const InProgress op(*this);
  if (!op) return EBADF;
  DWORD found = 0;
  COMSTAT s{};
  if (!ClearCommError(h_, &found, &s)) return deviceErrno();
  errors = found | keptErrors_.exchange(0);
  stat.Status = holdBits(s);
  stat.InQue = s.cbInQue;
  stat.OutQue = s.cbOutQue;
  return 0;
}

int TVaWin32Device::purge(uint32_t flags) {
  const InProgress op(*this);
  if (!op) return EBADF;
  if (flags & purge::TxAbort) interruptWrite();
  return PurgeComm(h_, flags) ? 0 : deviceErrno();
}

int TVaWin32Device::escape(uint32_t code) {
  const InProgress op(*this);
  if (!op) return EBADF;
  if (EscapeCommFunction(h_, code)) return 0;
  const int e = deviceErrno();
  return e == ENOTSUP && movesALine(code) ? 0 : e;
}

TVaDevicePtr OpenLocalDevice(const std::string& name, int& err) { return TVaWin32Device::open(name, err); }

}  // namespace ostrel::serial
