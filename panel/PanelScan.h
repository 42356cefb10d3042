#pragma once
// The panel scan: panel information, the two loops' information, then every
// device of every loop, one request and one reply at a time, driven by the
// window's 5 ms timer. The window forwards its four handlers here.
// A loop whose loop-information reply failed (bad frame, refusal, too short)
// has no row and no device count; the device phase skips it.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "panel/PanelLinkView.h"

namespace ostrel::panel {

inline constexpr int kReplyTimeoutTicks = 500;

class PanelScan {
 public:
  explicit PanelScan(PanelLinkView& view) : view_(view) {}

  // "Scan local FP": starts afresh, also during a running scan.
  void StartScan();
  // "STOP": disables the timer; the state and the tables stay as they are.
  void StopScan();
  // Bytes the window read from the panel port in one receive event, all of
  // them, in order.
  void CollectReply(const std::string& bytesReadNow);
  // The receive event as the port reports it: `count` bytes waiting, read
  // with `readBytes(max)` in pieces of at most 1024 bytes until all `count`
  // are in or a read returns nothing. Bytes beyond `count` are left for the
  // next event, so none is lost or read twice.
  void CollectReply(size_t count, const std::function<std::string(size_t max)>& readBytes);
  // Empties the receive buffer, clears the wait and enables the timer.
  void ArmReplyWait();
  // One 5 ms tick. A complete reply that names another request than the
  // one awaited (a late or doubled answer to an earlier one) is dropped
  // first, and the wait goes on.
  void Tick();
  // Drops, with a log line each, the complete replies at the front of the
  // receive buffer that answer an earlier request; what follows them stays.
  // True when one was dropped.
  bool DropEarlierReplies();
  // The reply wait ran out by a clock of the caller's own: what the tick that
  // reaches the time-out does ("no response", timer off, queues emptied).
  // Nothing happens when no reply is awaited or the reply is complete.
  void ExpireReplyWait();

  // Drops whatever arrived for the request awaited now (a garbled reply, or
  // nothing by the caller's own time-out), empties the port's queues and
  // sends the same request again with a fresh wait. The scan's step stays.
  // Nothing happens when no request is awaited. The window does not use it.
  void RetryRequest();

  // Handles the complete reply now awaited as one that failed the frame
  // check (no row; the scan goes on as after a bad frame), for a caller
  // that checks replies more strictly than the scan. Nothing happens when no
  // complete reply is awaited. The window does not use it.
  void RejectReply();

  // Keeps the receive buffer up to and including its first end byte and
  // returns the bytes that followed it (a doubled answer, noise), for a caller
  // that handles each reply as soon as its end byte is in. The window does not
  // use it: it decodes whatever the buffer holds at its tick.
  std::string TakeBytesAfterReply();

  // State, for the window and for tests.
  uint8_t scanStep() const { return scanStep_; }
  bool timerEnabled() const { return timerEnabled_; }
  bool replyDone() const { return fpReplyDone_; }
  int waitTicks() const { return fpWaitTicks_; }
  const std::string& rxBuffer() const { return fpRxBuffer_; }
  uint8_t loopIndex() const { return loopIndex_; }
  uint8_t deviceIndex() const { return deviceIndex_; }
  // Requests written (or attempted) by this object since it was made.
  uint64_t requestsSent() const { return requestsSent_; }

 private:
  void Send(uint8_t code, uint8_t a, uint8_t b);
  void StopTimer();
  void HandleReply(bool rejected = false);
  void PanelInfoStep(const std::string& reply, bool ok);
  void LoopInfoStep(const std::string& reply, bool ok);
  void DeviceStep(const std::string& reply, bool ok);
  // Sends the first device request of loop `loop` or of the next loop that
  // has a row; false when no such loop is left.
  bool StartLoop(uint8_t loop);

  PanelLinkView& view_;
  uint8_t scanStep_ = 0;
  std::string fpRxBuffer_;
  bool fpReplyDone_ = false;
  int fpWaitTicks_ = 0;
  uint8_t loopInfoPending_ = 0;
  uint8_t secondLoopPending_ = 0;
  uint8_t loopIndex_ = 0;
  uint8_t deviceIndex_ = 0;
  bool loopsHaveDevices_ = false;
  bool timerEnabled_ = false;
  // Which loop the next loop-information reply answers (0 or 1), and the
  // device counts of the rows this scan wrote; -1 for a loop without a row.
  uint8_t loopInfoAwaited_ = 0;
  std::array<int, 2> deviceCount_{-1, -1};
  uint64_t requestsSent_ = 0;
  // The last request sent: the one awaited, and what RetryRequest repeats.
  uint8_t lastCode_ = 0, lastA_ = 0, lastB_ = 0;
};

}  // namespace ostrel::panel
