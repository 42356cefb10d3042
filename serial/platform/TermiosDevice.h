#pragma once
// A serial device over POSIX termios: exclusive open (TIOCEXCL plus flock), line
// configuration through termios2 so any rate can be set, event waits with poll.
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

#include "serial/platform/CallInProgress.h"
#include "serial/platform/VaDevice.h"

namespace ostrel::serial {

// The driver's running counts of modem-line changes and line errors.
struct TVaLineCounters {
  int cts = 0, dsr = 0, rng = 0, dcd = 0, frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
};
// Reads the counters of an open descriptor; false where the device keeps none (a
// pseudo-terminal). May be called from the event thread and the main thread at once.
using TVaCounterReader = std::function<bool(int fd, TVaLineCounters& counters)>;
// The driver's own counters (TIOCGICOUNT).
bool readDriverCounters(int fd, TVaLineCounters& counters);

// Opens a terminal device for exclusive use, the one way every part of the program does it:
// read-write, non-blocking, never as controlling terminal, then TIOCEXCL (keeps other users
// out) and flock (keeps out root and a second open of our own as well). Returns the
// descriptor, or -1 with err set: EBUSY when another descriptor holds the lock, ENOTTY when
// the path is no terminal, else the open's errno. A refused lock clears the exclusive mode
// again unless the terminal had it before. wasExclusive, when given, tells whether another
// opener had set the mode already (root is let in regardless).
int OpenTerminalExclusive(const std::string& path, int& err, bool* wasExclusive = nullptr);
// Gives the terminal back: drops the exclusive mode (unless keepMode) and the lock, closes.
void CloseTerminalExclusive(int fd, bool keepMode = false);

class TVaTermiosDevice : public TVaDevice {
 public:
  // Opens `path` for exclusive use. Returns nullptr and sets err (errno) on failure; a device
  // held by another descriptor answers EBUSY. The counters come from the driver unless
  // another reader is given.
  static std::shared_ptr<TVaTermiosDevice> open(const std::string& path, int& err,
                                                TVaCounterReader counters = readDriverCounters);
  ~TVaTermiosDevice() override;

  bool isPseudoTerminal() const { return pty_; }
  int fd() const { return fd_; }

  int applyLineConfiguration(const TVaDcb& dcb) override;
  int setQueueSizes(uint32_t inSize, uint32_t outSize) override;
  int setNonBlockingTimeouts() override;
  int setEventMask(uint32_t mask) override;
  int waitEvent(uint32_t& events) override;
  void cancelWait() override;
  int read(uint8_t* buf, size_t count, size_t& got) override;
  int write(const uint8_t* data, size_t count, int timeoutMs, size_t& written,
            const std::atomic<bool>* abort = nullptr) override;
  void interruptWrite() override;
  int waitUntilSent(int timeoutMs) override;
  int clearError(uint32_t& errors, TVaComStat& stat) override;
  int purge(uint32_t flags) override;
  int escape(uint32_t code) override;
  void close() override;

 private:
  TVaTermiosDevice() = default;
  bool enter();  // counts an operation in progress; false once closed
  void leave();
  using InProgress = TVaCallInProgress<TVaTermiosDevice>;
  friend InProgress;
  int modemBits(unsigned long request, int bits);
  using Counters = TVaLineCounters;
  bool readCounters(Counters& c) { return counters_(fd_, c); }
  // Bytes waiting: those read ahead plus those still in the terminal.
  size_t waitingInput();
  // Under inputM_: reads what has arrived into the read-ahead and notes an event character
  // among it; returns the number of bytes added (err: a read failure).
  size_t fillAhead(int& err);
  // The parts of one look of waitEvent, each adding what it found; each may shorten the poll's
  // time-out (ms, -1: none) for what cannot wake it.
  // Event thread only: an event character read ahead, bytes not announced yet. Bytes already
  // announced take the terminal out of the poll (watchInput) in favour of a slow look.
  uint32_t inputEvents(uint32_t mask, bool& watchInput, int& timeout);
  // The output queue ran empty after a write.
  uint32_t transmitEvents(uint32_t mask, int& timeout);
  // Modem-line changes and line errors, from the driver's counters.
  uint32_t lineEvents(uint32_t mask, int& timeout);
  // Waits for the terminal or the wake descriptor, at most timeout ms. Returns 0 to look
  // again, or what ends the wait: EBADF closed, ECANCELED cancelled, EIO the device is gone.
  int pollOnce(bool watchInput, int timeout);
  // The parts of a write. beginWrite counts it in progress; endWrite counts it done and notes
  // the bytes it queued for the output-empty event.
  void beginWrite();
  void endWrite(size_t written);
  // Waits until the terminal takes bytes again or the write is woken, at most wait ms (-1: no
  // bound). False when the write ends here: e says why (0: the device was closed).
  bool awaitWritable(int wait, int& e);

  int fd_ = -1;
  TVaCounterReader counters_;
  int waitWake_ = -1;   // eventfd that ends a waitEvent
  int writeWake_ = -1;  // eventfd that ends a blocked write
  bool pty_ = false;
  std::mutex m_;
  std::condition_variable idle_;
  // Input taken from the terminal while looking for the event character, not yet read by the
  // port. inputM_ guards it and every read of the descriptor, so bytes keep their order.
  static constexpr size_t kReadAheadLimit = 64 * 1024;
  std::mutex inputM_;
  std::string ahead_;
  std::atomic<bool> flagPending_{false};  // an event character arrived, not yet reported
  int busy_ = 0;
  int writers_ = 0;  // writes in progress (under m_)
  bool closed_ = false;
  std::atomic<uint32_t> mask_{0};
  std::atomic<bool> cancel_{false}, interrupt_{false}, txPending_{false};
  std::atomic<uint8_t> evtChar_{0};
  // Parity errors are errors only while parity is checked; the driver counts them anyway.
  std::atomic<bool> checkParity_{false};
  // Event thread only: bytes already announced, and the counters the last wait saw.
  int announced_ = 0;
  uint64_t consumedSeen_ = 0;
  std::atomic<uint64_t> consumed_{0};  // reads and input purges so far
  Counters waitSeen_{};
  bool countersOk_ = false;
  // Main thread only: counters the last error query saw.
  Counters querySeen_{};
};

// Applies the line fields with termios2 (any rate through BOTHER). `holdsParity` false leaves
// parity off, for devices without a physical line.
int applyTermios2Fields(int fd, uint32_t rate, uint8_t byteSize, uint8_t parity, uint8_t stopBits, uint32_t flags,
                        uint8_t xonChar, uint8_t xoffChar, bool holdsParity);

}  // namespace ostrel::serial
