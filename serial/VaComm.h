#pragma once
// The serial port component: one object owns one device, its line settings, its worker
// threads and its event handlers.
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "serial/VaClasses.h"
#include "serial/VaCommThreads.h"
#include "serial/VaPrst.h"
#include "serial/VaSync.h"
#include "serial/platform/VaDevice.h"

namespace ostrel::serial {

enum TVaCommEvent : uint8_t {
  ceBreak,
  ceCts,
  ceDsr,
  ceError,
  ceRing,
  ceRlsd,
  ceRxChar,
  ceTxEmpty,
  ceRxFlag,
  cePErr,
  ceRx80Full,
  ceEvent1,
  ceEvent2
};
// Set of TVaCommEvent: bit n for the member with ordinal n.
using TVaCommEvents = uint16_t;
constexpr TVaCommEvents eventBit(TVaCommEvent e) { return static_cast<TVaCommEvents>(1u << e); }
// The device event bit of a TVaCommEvent.
uint32_t eventMaskBit(TVaCommEvent e);

using TVaPortInt = int32_t;

class TVaCustomComm;

using TVaNotifyEvent = std::function<void(TVaCustomComm* Sender)>;
using TVaCommErrorEvent = std::function<void(TVaCustomComm* Sender, int32_t Errors)>;
using TVaCommRxCharEvent = std::function<void(TVaCustomComm* Sender, int32_t Count)>;
using TVaCommRxBufEvent = std::function<void(TVaCustomComm* Sender, const uint8_t* Data, int32_t Count)>;

// A receiver takes received bytes in place of OnRxChar, and the port's events.
class TVaCommReceiver {
 public:
  // A receiver that goes away leaves its port's list, so the port never reaches a dead one.
  virtual ~TVaCommReceiver();
  virtual void TakeData(const uint8_t* data, int32_t count) = 0;
  virtual void TakeEvents(uint32_t mask) = 0;
  bool Active = true;
  TVaCustomComm* Port = nullptr;  // cleared when the port is destroyed
};

struct TVaCommStatus {
  uint32_t Errors = 0;
  TVaComStat Stat;
};

// Opens a device by its formatted name; returns nullptr with err set (errno) on failure.
using TVaDeviceOpener = std::function<TVaDevicePtr(const std::string& name, int& err)>;
// The application's general error report (a message box in the window).
using TVaErrorReport = std::function<void(const std::exception& error)>;

// The report used by ports without one of their own; by default it writes to stderr.
void SetApplicationErrorReport(TVaErrorReport report);

class TVaCustomComm : public TVaComponent {
 public:
  explicit TVaCustomComm(void* owner = nullptr);
  ~TVaCustomComm() override;

  // --- platform hooks ---
  // The opener turns the formatted device name into a device; the default opens it as a
  // termios device path.
  void SetDeviceOpener(TVaDeviceOpener opener) { opener_ = std::move(opener); }
  void SetMainThreadSync(std::shared_ptr<TVaMainThreadSync> sync) { sync_ = std::move(sync); }
  TVaErrorReport ErrorReport;  // empty: the application's report

  // --- operations ---
  void OpenPort();
  void ClosePort();
  bool IsOpen() const { return device_ != nullptr; }
  TVaDevice* Handle() const { return device_.get(); }
  std::string FormattedDeviceName() const;
  TVaCommStatus QueryStatus();
  void PurgeBuffers(uint32_t flags);
  void PurgeAll() { PurgeBuffers(15); }
  void EscapeFunction(uint32_t code);
  void SetRtsLine(bool level);
  int32_t InputCount();
  int32_t ReadBytes(uint8_t* buffer, int32_t count);
  std::string ReadAll();
  int32_t WriteBytes(const uint8_t* data, int32_t count);
  bool WriteString(const std::string& s);
  bool WriteByte(uint8_t b);
  int32_t OutputSpace();
  // Blocks until every byte written so far has left the line (the write queue, the driver
  // and the transmitter), giving up when none has left for Buffers.ReadTimeout ms. True when
  // all went out; false on a closed port, a stall or a device failure.
  bool WaitUntilSent();
  uint32_t ActiveEventMask() const { return eventMask_; }
  // True once the open device went away (until the port is closed).
  bool DeviceLost() const { return lost_; }

  void AttachReceiver(TVaCommReceiver* r);
  void DetachReceiver(TVaCommReceiver* r);
  size_t ReceiverCount() const { return receivers_.size(); }

  // --- properties ---
  bool AutoOpen() const { return autoOpen_; }
  void SetAutoOpen(bool v) { autoOpen_ = v; }
  TVaBaudrate Baudrate() const { return baudrate_; }
  void SetBaudrate(TVaBaudrate v);
  TVaParity Parity() const { return parity_; }
  void SetParity(TVaParity v);
  TVaDatabits Databits() const { return databits_; }
  void SetDatabits(TVaDatabits v);
  TVaStopbits Stopbits() const { return stopbits_; }
  void SetStopbits(TVaStopbits v);
  TVaEventChars& EventChars() { return eventChars_; }
  void SetEventChars(const TVaEventChars& v) { eventChars_.Assign(v); }
  TVaFlowControl& FlowControl() { return flowControl_; }
  void SetFlowControl(const TVaFlowControl& v) { flowControl_.Assign(v); }
  TVaCommOptions Options() const { return options_; }
  void SetOptions(TVaCommOptions v);
  TVaPortInt PortNum() const { return portNum_; }
  void SetPortNum(TVaPortInt v);
  const std::string& DeviceName() const { return deviceName_; }
  void SetDeviceName(const std::string& v);
  TVaCommEvents MonitorEvents() const { return monitorEvents_; }
  void SetMonitorEvents(TVaCommEvents v);
  TVaBuffers& Buffers() { return buffers_; }
  void SetBuffers(const TVaBuffers& v);
  TThreadPriority EventPriority() const { return eventPriority_; }
  void SetEventPriority(TThreadPriority v);
  TThreadPriority WritePriority() const { return writePriority_; }
  void SetWritePriority(TThreadPriority v);
  bool DirectWrite() const { return directWrite_; }
  void SetDirectWrite(bool v);
  bool UpdateDCB() const { return updateDCB_; }
  void SetUpdateDCB(bool v);
  int32_t UserBaudrate() const { return userBaudrate_; }
  void SetUserBaudrate(int32_t v);

  // --- handlers ---
  TVaNotifyEvent OnOpen, OnClose, OnCts, OnDsr, OnRlsd, OnRing, OnBreak;
  TVaCommErrorEvent OnError;
  TVaCommRxCharEvent OnRxChar;
  TVaNotifyEvent OnRxFlag;
  TVaCommRxBufEvent OnRxBuf;
  TVaNotifyEvent OnTxEmpty, OnPErr, OnRx80Full, OnEvent1, OnEvent2;

  void Loaded() override;

 protected:
  // Overridable steps.
  virtual void OpenDevice();
  virtual void StartThreads();
  virtual void HandleRxChar();
  virtual void HandleEvents(uint32_t mask);
  virtual void NotifyReceivers(uint32_t mask);
  virtual void DeliverData(const uint8_t* data, int32_t count);

  void RequireClosed() const;
  void ApplyLineSettings();
  void ApplyBufferSizes();
  void ApplyTimeouts();
  void ApplyEventMask();
  void CloseDevice();
  void StopThreads();
  void DispatchEvents(uint32_t mask);
  void CheckErrors();
  void ReportError(const std::exception& e);
  void ReportDeviceLost(int err);
  // Raises EVaCommError with the template formatted with the code and its system text.
  [[noreturn]] static void RaiseError(const char* tmpl, int err);
  static void CheckResult(int err, const char* tmpl) {
    if (err) RaiseError(tmpl, err);
  }
  // True while the open period that started the current dispatch is still the current one.
  bool Current(const TVaSyncTokenPtr& token) const { return token && token == token_ && token->valid(); }

 private:
  void OnBuffersChange();

  TVaDevicePtr device_;
  std::shared_ptr<TVaCriticalSection> writeLock_ = std::make_shared<TVaCriticalSection>();
  TVaCriticalSection statusLock_;
  std::shared_ptr<TVaCommEventThread> eventThread_;
  std::shared_ptr<TVaCommWriteThread> writeThread_;
  uint32_t eventMask_ = 0;
  bool autoOpen_ = false;
  TVaPortInt portNum_ = 0;
  std::string deviceName_ = "COM%d";
  TVaCommEvents monitorEvents_ = eventBit(ceError) | eventBit(ceRxChar) | eventBit(ceTxEmpty);
  TVaBuffers buffers_;
  TThreadPriority eventPriority_ = tpNormal;
  TThreadPriority writePriority_ = tpHighest;
  bool directWrite_ = false;
  std::vector<TVaCommReceiver*> receivers_;
  TVaBaudrate baudrate_ = br1200;
  TVaParity parity_ = paNone;
  TVaDatabits databits_ = db8;
  TVaStopbits stopbits_ = sb1;
  TVaCommOptions options_ = 0;
  TVaFlowControl flowControl_;
  TVaEventChars eventChars_;
  bool updateDCB_ = true;
  int32_t userBaudrate_ = 0;

  TVaDeviceOpener opener_;
  std::shared_ptr<TVaMainThreadSync> sync_;
  TVaSyncTokenPtr token_;
  bool destroying_ = false;
  bool lost_ = false;
};

// The port the program uses: TVaCustomComm as it is, under the name the window and the
// command line know it by.
class TVaComm : public TVaCustomComm {
 public:
  using TVaCustomComm::TVaCustomComm;
};

// Sets a line rate: through its constant when it has one, as a user rate otherwise.
inline void SetLineRate(TVaCustomComm& port, uint32_t rate) {
  const TVaBaudrate constant = BaudrateConstant(rate);
  if (constant == brUser) port.SetUserBaudrate(static_cast<int32_t>(rate));
  port.SetBaudrate(constant);
}

}  // namespace ostrel::serial
