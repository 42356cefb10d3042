#pragma once
// The operating-system services a serial port needs, behind one interface so the port can run
// over a real termios device or over an in-memory fake in tests.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace ostrel::serial {

// Device-control record: the complete line configuration handed to a device.
struct TVaDcb {
  uint32_t DCBlength = 0;
  uint32_t BaudRate = 0;
  uint32_t Flags = 0;
  uint16_t wReserved = 0;
  uint16_t XonLim = 0;
  uint16_t XoffLim = 0;
  uint8_t ByteSize = 0;
  uint8_t Parity = 0;
  uint8_t StopBits = 0;
  uint8_t XonChar = 0;
  uint8_t XoffChar = 0;
  uint8_t ErrorChar = 0;
  uint8_t EofChar = 0;
  uint8_t EvtChar = 0;
  uint16_t wReserved1 = 0;
  bool operator==(const TVaDcb&) const = default;
};

// Flag bits of TVaDcb::Flags.
namespace dcb {
inline constexpr uint32_t Binary = 0x0001, ParityCheck = 0x0002, OutxCtsFlow = 0x0004, OutxDsrFlow = 0x0008,
                          DtrEnable = 0x0010, DtrHandshake = 0x0020, DsrSensitivity = 0x0040, TxContinueOnXoff = 0x0080,
                          OutX = 0x0100, InX = 0x0200, ErrorChar = 0x0400, Null = 0x0800, RtsEnable = 0x1000,
                          RtsHandshake = 0x2000, RtsToggle = 0x3000, RtsMask = 0x3000, DtrMask = 0x0030;
}

// Whether a line can carry the frame: one and a half stop bits exist only with five data bits,
// two stop bits only with six or more. A device refuses any other pairing (EINVAL) rather than
// send a frame that was not asked for.
inline bool stopBitsFit(uint8_t byteSize, uint8_t stopBits) {
  if (stopBits == 1) return byteSize == 5;
  if (stopBits == 2) return byteSize != 5;
  return true;
}

// Event bits reported by TVaDevice::waitEvent.
namespace ev {
inline constexpr uint32_t RxChar = 0x0001, RxFlag = 0x0002, TxEmpty = 0x0004, Cts = 0x0008, Dsr = 0x0010, Rlsd = 0x0020,
                          Break = 0x0040, Err = 0x0080, Ring = 0x0100, PErr = 0x0200, Rx80Full = 0x0400,
                          Event1 = 0x0800, Event2 = 0x1000;
}

// Line-error bits reported by TVaDevice::clearError.
namespace ce {
inline constexpr uint32_t RxOver = 0x0001, Overrun = 0x0002, RxParity = 0x0004, Frame = 0x0008, Break = 0x0010;
}

// Purge flags.
namespace purge {
inline constexpr uint32_t TxAbort = 1, RxAbort = 2, TxClear = 4, RxClear = 8;
}

// Escape function codes.
namespace esc {
inline constexpr uint32_t SetXoff = 1, SetXon = 2, SetRts = 3, ClrRts = 4, SetDtr = 5, ClrDtr = 6, ResetDev = 7,
                          SetBreak = 8, ClrBreak = 9;
}

struct TVaComStat {
  uint32_t Status = 0;  // modem/hold status bits (0 where the device reports none)
  uint32_t InQue = 0;   // bytes waiting in the input queue
  uint32_t OutQue = 0;  // bytes waiting in the output queue
};

// Every operation returns 0 on success or an errno value; texts come from strerror.
// Thread rules: waitEvent runs on the event thread, write may run on the write thread, all
// other calls on the main thread; cancelWait, interruptWrite and close may be called from any
// thread at any time.
class TVaDevice {
 public:
  virtual ~TVaDevice() = default;

  virtual int applyLineConfiguration(const TVaDcb& dcb) = 0;
  virtual int setQueueSizes(uint32_t inSize, uint32_t outSize) = 0;
  // Reads return at once with what has arrived; writes carry no device time-out.
  virtual int setNonBlockingTimeouts() = 0;
  virtual int setEventMask(uint32_t mask) = 0;
  // Blocks until an event of the mask arrives (0, mask filled), cancelWait was called
  // (ECANCELED), or the device failed (errno). A lost device answers EIO, ENXIO or ENODEV.
  virtual int waitEvent(uint32_t& events) = 0;
  // Ends the current waitEvent, or the next one if none is in progress.
  virtual void cancelWait() = 0;
  virtual int read(uint8_t* buf, size_t count, size_t& got) = 0;
  // Writes all bytes, waiting for room up to timeoutMs (negative: no limit). Returns 0 and the
  // count taken so far when the time ran out, interruptWrite was called during the write, or
  // `abort` is set: a set `abort` stops the write before its first byte as well, so an abort
  // raised just before the write begins still reaches it.
  virtual int write(const uint8_t* data, size_t count, int timeoutMs, size_t& written,
                    const std::atomic<bool>* abort = nullptr) = 0;
  // Ends the writes in progress; a write that begins later is not affected (set its `abort`
  // first to stop one that is about to begin).
  virtual void interruptWrite() = 0;
  // Main thread: blocks until every byte handed to the device has left the line, not just
  // the driver's queue (0), or until no byte has left for timeoutMs (ETIMEDOUT).
  virtual int waitUntilSent(int timeoutMs) = 0;
  virtual int clearError(uint32_t& errors, TVaComStat& stat) = 0;
  virtual int purge(uint32_t flags) = 0;
  virtual int escape(uint32_t code) = 0;
  // Releases the device; every later call fails with EBADF. Safe while waitEvent runs.
  virtual void close() = 0;
};

// True for the errors that mean the device is gone rather than busy for a moment (for a port
// across the network: the connection ended).
inline bool isDeviceLost(int err) {
  return err == EIO || err == ENXIO || err == ENODEV || err == EBADF || err == ECONNRESET;
}

using TVaDevicePtr = std::shared_ptr<TVaDevice>;

// Polls a count of bytes still to go out until it reaches 0: true then, false once it has not
// fallen for timeoutMs (a slow line is waited for as long as it makes progress).
template <class Count>
bool waitUntilDrained(Count count, int timeoutMs) {
  using clock = std::chrono::steady_clock;
  auto last = count();
  auto lastProgress = clock::now();
  while (last > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    auto now = count();
    if (now < last) lastProgress = clock::now();
    last = now;
    if (last > 0 && clock::now() - lastProgress > std::chrono::milliseconds(timeoutMs)) return false;
  }
  return true;
}

}  // namespace ostrel::serial
