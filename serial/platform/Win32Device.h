#pragma once
// A serial device over the Win32 communications calls: exclusive overlapped open, the line
// record handed to SetCommState as it is, event waits with WaitCommEvent.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "serial/platform/CallInProgress.h"
#include "serial/platform/VaDevice.h"

namespace ostrel::serial {

// The errno value for a Win32 error code (GetLastError) of an open; EIO for codes without one
// of their own.
int ErrnoFromWin32(uint32_t code);
// The same for a call on a device that is open: there "access denied" means the device has
// gone (ENODEV), not that another program holds it.
int ErrnoOfOpenDevice(uint32_t code);

// Microseconds one character of the line takes on the wire (rounded up; 0 without a rate).
uint32_t CharacterMicros(const TVaDcb& dcb);

// The path CreateFileA takes for a device name: "COM3" in any case becomes "\\.\COM3" (the
// only form that reaches COM10 and up); every other name, "\\.\..." included, is used as given.
std::string Win32DevicePath(const std::string& name);

class TVaWin32Device : public TVaDevice {
 public:
  // Handles are the system's HANDLE values, kept as void* so this header needs no <windows.h>.
  using Handle = void*;

  // Opens `name` for exclusive use. Returns nullptr and sets err (errno) on failure: ENOENT for
  // a device that does not exist, EBUSY for one another program holds, ENOTTY for a file that
  // is no serial device.
  static std::shared_ptr<TVaWin32Device> open(const std::string& name, int& err);
  ~TVaWin32Device() override;

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
  TVaWin32Device() = default;
  bool enter();  // counts an operation in progress; false once closed
  void leave();
  using InProgress = TVaCallInProgress<TVaWin32Device>;
  friend InProgress;
  // A write in progress, counted so that interruptWrite reaches only the writes under way.
  class Writing {
   public:
    explicit Writing(TVaWin32Device& d);
    ~Writing();
    Writing(const Writing&) = delete;
    Writing& operator=(const Writing&) = delete;

   private:
    TVaWin32Device& d_;
  };
  struct WaitRecord;  // the overlapped record of the event wait, alive as long as the device

  bool takeCancel();  // consumes a pending cancelWait
  // Starts a device wait unless one is pending; returns 0, or an error of WaitCommEvent.
  int startWait();
  // Ends the pending device wait (close or cancel) and lets it finish before the record is reused.
  void endWait();
  // The events of the finished device wait, or an error; `again` when it ended for a mask change.
  int finishWait(uint32_t& events, bool& again);
  // One WriteFile of a part of the data: the bytes it took, or an error. `stop` tells why the
  // part was cut short (time, interrupt, close, abort), 0 when it finished.
  int writePart(const uint8_t* data, uint32_t count, uint32_t waitMs, uint32_t& taken, bool& stop);
  // The device's queues and hold bits; line errors ClearCommError reports meanwhile are kept
  // for the next clearError.
  TVaComStat queues(int& err);

  Handle h_ = nullptr;               // the device; INVALID_HANDLE_VALUE once closed
  Handle closeEvent_ = nullptr;      // set by close: ends every wait in progress
  Handle cancelEvent_ = nullptr;     // set by cancelWait, reset by the waitEvent that answers it
  Handle interruptEvent_ = nullptr;  // set by interruptWrite while writes are in progress
  std::unique_ptr<WaitRecord> wait_;
  std::mutex m_;
  std::condition_variable idle_;
  int busy_ = 0;
  int writers_ = 0;  // under m_
  bool closed_ = false;
  std::atomic<uint32_t> mask_{0};
  std::atomic<uint32_t> maskChanges_{0};
  std::atomic<uint32_t> characterMicros_{0};  // one character's wire time at the line's settings
  std::atomic<uint32_t> keptErrors_{0};       // line errors seen by waitUntilSent, not reported yet
};

}  // namespace ostrel::serial
