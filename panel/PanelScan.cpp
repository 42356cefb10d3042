#include "panel/PanelScan.h"

#include <algorithm>

#include "common/ReadPieces.h"
#include "common/hexdump.h"
#include "panel/ReplyMatch.h"
#include "panel/TFP.h"

namespace ostrel::panel {

void PanelScan::Send(uint8_t code, uint8_t a, uint8_t b) {
  const std::string payload{static_cast<char>(a), static_cast<char>(b), '\0'};
  TFP(view_).SendRequest(code, 3, payload);
  ++requestsSent_;
  lastCode_ = code;
  lastA_ = a;
  lastB_ = b;
}

void PanelScan::RetryRequest() {
  if (!timerEnabled_) return;
  view_.PurgePort();
  Send(lastCode_, lastA_, lastB_);
  ArmReplyWait();
}

void PanelScan::StopTimer() {
  timerEnabled_ = false;
  view_.StopTimer();
}

void PanelScan::ArmReplyWait() {
  fpWaitTicks_ = 0;
  fpReplyDone_ = false;
  fpRxBuffer_.clear();
  timerEnabled_ = true;
  view_.StartTimer();
}

void PanelScan::StartScan() {
  loopInfoPending_ = 0;
  loopsHaveDevices_ = false;
  loopInfoAwaited_ = 0;
  deviceCount_ = {-1, -1};
  // A new scan starts afresh: a late reply to an earlier, interrupted exchange that still waits
  // in the input queue would otherwise be taken for this scan's first reply and keep every
  // later reply one request behind.
  view_.PurgePort();
  // With the port disconnected this only logs "Serial port is not opened";
  // the scan then ends by time-out.
  Send(kCodePanelInfo, 0, 0);
  ArmReplyWait();
  scanStep_ = 1;
}

void PanelScan::StopScan() { StopTimer(); }

void PanelScan::CollectReply(const std::string& bytesReadNow) {
  fpRxBuffer_ += bytesReadNow;
  if (bytesReadNow.find(static_cast<char>(kEndByte)) != std::string::npos) fpReplyDone_ = true;
}

void PanelScan::CollectReply(size_t count, const std::function<std::string(size_t)>& readBytes) {
  const std::string got = ReadAnnounced(count, readBytes);
  if (!got.empty()) CollectReply(got);
}

void PanelScan::Tick() {
  // A tick already queued when the timer was stopped does nothing.
  if (!timerEnabled_) return;
  if (fpReplyDone_) DropEarlierReplies();
  if (!fpReplyDone_) {
    if (++fpWaitTicks_ == kReplyTimeoutTicks) {
      view_.AddLogLine("no response");
      StopTimer();
      view_.PurgePort();
    }
    return;
  }
  StopTimer();
  HandleReply();
}

bool PanelScan::DropEarlierReplies() {
  bool dropped = false;
  while (fpReplyDone_) {
    const size_t end = fpRxBuffer_.find(static_cast<char>(kEndByte));
    const std::string first = TFP::HexDecodeFrame(fpRxBuffer_.substr(0, end + 1));
    if (!AnswersAnotherRequest(first, {lastCode_, lastA_, lastB_})) break;
    view_.AddLogLine(ostrel::hexLine("QVFP: ", first));
    view_.AddLogLine("Late reply dropped: it answers " + NamedRequest(first) + ", not the request sent last");
    fpRxBuffer_.erase(0, end + 1);
    fpReplyDone_ = fpRxBuffer_.find(static_cast<char>(kEndByte)) != std::string::npos;
    dropped = true;
  }
  return dropped;
}

std::string PanelScan::TakeBytesAfterReply() {
  const size_t end = fpRxBuffer_.find(static_cast<char>(kEndByte));
  if (end == std::string::npos) return {};
  std::string after = fpRxBuffer_.substr(end + 1);
  fpRxBuffer_.resize(end + 1);
  return after;
}

void PanelScan::ExpireReplyWait() {
  if (!timerEnabled_ || fpReplyDone_) return;
  fpWaitTicks_ = kReplyTimeoutTicks - 1;
  Tick();
}

void PanelScan::RejectReply() {
  if (!timerEnabled_ || !fpReplyDone_) return;
  StopTimer();
  HandleReply(true);
}

void PanelScan::HandleReply(bool rejected) {
  TFP fp(view_);
  const std::string reply = TFP::HexDecodeFrame(fpRxBuffer_);
  view_.AddLogLine(ostrel::hexLine("QVFP: ", reply));
  const uint16_t length = static_cast<uint16_t>(std::min<size_t>(reply.size(), 0xFFFF));
  const bool ok = !rejected && fp.CheckReply(reply, length);
  if (!ok) view_.AddLogLine("error CRC");
  view_.PurgePort();
  switch (scanStep_) {
    case 1: PanelInfoStep(reply, ok); break;
    case 2: LoopInfoStep(reply, ok); break;
    case 3: DeviceStep(reply, ok); break;
    default: break;
  }
}

void PanelScan::PanelInfoStep(const std::string& reply, bool ok) {
  if (!ok) return;
  if (auto loops = TFP(view_).DecodePanelInfo(reply)) {
    loopInfoPending_ = *loops;
    secondLoopPending_ = *loops;
  }
  scanStep_ = 2;
  if (loopInfoPending_ == 0) {
    view_.AddLogLine("No loops to read...");
    return;
  }
  loopInfoAwaited_ = 0;
  Send(kCodeLoopInfo, 0, 0);
  ArmReplyWait();
}

void PanelScan::LoopInfoStep(const std::string& reply, bool ok) {
  if (ok) {
    if (auto count = TFP(view_).DecodeLoopInfo(reply, loopsHaveDevices_)) deviceCount_[loopInfoAwaited_] = *count;
  }
  if (loopInfoPending_ != 0) {
    loopInfoAwaited_ = 1;
    Send(kCodeLoopInfo, 1, 0);
    loopInfoPending_ = 0;
    ArmReplyWait();
    return;
  }
  scanStep_ = 3;
  if (!loopsHaveDevices_) return;
  deviceIndex_ = 1;
  if (secondLoopPending_ == 0) return;
  StartLoop(0);
}

// A loop whose loop-information reply failed (bad frame, refusal, too short)
// has no row and so no device count: its devices are not asked for, and the
// device phase goes on with the next loop that has a row, or ends.
bool PanelScan::StartLoop(uint8_t loop) {
  if (loop == 0 && deviceCount_[0] < 0) {
    loop = 1;
    secondLoopPending_ = 0;
  }
  if (loop > 1 || deviceCount_[loop] < 0) return false;
  loopIndex_ = loop;
  deviceIndex_ = 1;
  Send(kCodeDeviceInfo, loopIndex_, deviceIndex_);
  ArmReplyWait();
  return true;
}

void PanelScan::DeviceStep(const std::string& reply, bool ok) {
  if (ok) TFP(view_).DecodeDevice(reply, loopIndex_);
  ++deviceIndex_;
  // Device 1 of a loop is asked for before its count is compared, so a loop
  // with 0 or 1 devices still gets one request.
  if (deviceIndex_ < deviceCount_[loopIndex_]) {
    Send(kCodeDeviceInfo, loopIndex_, deviceIndex_);
    ArmReplyWait();
    return;
  }
  if (secondLoopPending_ == 0) return;
  secondLoopPending_ = 0;
  StartLoop(static_cast<uint8_t>(loopIndex_ + 1));
}

}  // namespace ostrel::panel
