#pragma once
// An in-memory serial device for tests: bytes, line errors and modem events are injected by the
// test; writes can be refused, limited or slowed; waits and reads can be made to fail; the
// device can be pulled away.
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "serial/platform/VaDevice.h"

namespace ostrel::serial {

class TVaFakeDevice : public TVaDevice {
 public:
  // --- scripting, any thread ---
  void injectBytes(const std::string& bytes);
  void injectErrors(uint32_t ceFlags);  // pending line errors plus the error event
  void injectEvents(uint32_t evBits);   // modem-line changes, break, ...
  // Bytes, line errors and events at once, so the port sees them in one batch.
  void inject(const std::string& bytes, uint32_t ceFlags, uint32_t evBits);
  void pullAway();  // every later wait, read and write fails with EIO
  void failNextWait(int err, int times = 1);
  void failNextRead(int err);
  void limitNextRead(size_t bytes);     // the next read delivers at most this many
  void refuseWrites(int err);           // 0 accepts again
  void setWriteCapacity(size_t bytes);  // the device takes at most this many until drained
  void drainOutput();                   // the "wire" sends everything taken so far
  bool sendWaiting() const;             // waitUntilSent is waiting for the wire
  void setWriteDelayMs(int ms);         // each write call takes this long before taking bytes
  // The next write call stops on entry, before it is in progress, until released: an
  // interruptWrite meanwhile finds no write to end, as on a real device.
  void holdNextWriteStart();
  void releaseWriteStart();
  bool writeStartHeld() const;
  int interruptCalls() const;
  long writeCalls() const;
  void setOutQueue(uint32_t n);
  void failNext(const std::string& operation, int err);
  void reopen();  // a closed fake can be opened again, like a real device  //
                  // "dcb","queues","timeouts","mask","purge","escape","status"

  // --- inspection ---
  std::string written() const;
  std::string pendingInput() const;
  TVaDcb dcb() const;
  int dcbWrites() const;
  uint32_t eventMask() const;
  uint32_t inSize() const, outSize() const;
  bool timeoutsSet() const;
  std::vector<uint32_t> purges() const;
  std::vector<uint32_t> escapes() const;
  // Bytes taken but not yet sent at each escape function, in the order of escapes().
  std::vector<size_t> unsentAtEscapes() const;
  bool closed() const;
  long waitCalls() const;
  bool waiting() const;

  // --- TVaDevice ---
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
  int takeFailure(const char* op);
  void raise(uint32_t evBits);  // caller holds m_

  mutable std::mutex m_;
  std::condition_variable cv_;
  std::string in_, out_;
  size_t outQueued_ = 0;  // bytes taken but not yet "sent"
  size_t writeCapacity_ = static_cast<size_t>(-1);
  uint32_t errors_ = 0, pending_ = 0, mask_ = 0, inSize_ = 0, outSize_ = 0, outQue_ = 0;
  TVaDcb dcb_{};
  int dcbWrites_ = 0;
  bool timeouts_ = false, closed_ = false, lost_ = false, cancel_ = false, interrupt_ = false;
  bool waiting_ = false;
  bool holdWrite_ = false, writeHeld_ = false;
  int writers_ = 0, interruptCalls_ = 0;
  long writeCalls_ = 0;
  size_t readLimit_ = static_cast<size_t>(-1);
  int waitErr_ = 0, waitErrTimes_ = 0, readErr_ = 0, writeErr_ = 0, writeDelayMs_ = 0;
  long waitCalls_ = 0;
  std::vector<std::pair<std::string, int>> failures_;
  std::vector<uint32_t> purges_, escapes_;
  std::vector<size_t> unsentAtEscapes_;
  bool sendWaiting_ = false;
};

}  // namespace ostrel::serial
