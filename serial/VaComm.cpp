#include "serial/VaComm.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <mutex>

#include "serial/platform/SystemDevice.h"

namespace ostrel::serial {

namespace {

std::mutex gReportMutex;
TVaErrorReport gReport;

// The system's text for an error code, without trailing blanks, line breaks and full stops.
std::string systemText(int err) {
  std::string t = std::strerror(err);
  while (!t.empty() && (t.back() == ' ' || t.back() == '\n' || t.back() == '\r' || t.back() == '.')) t.pop_back();
  return t;
}

// Fills the %d and %s directives of a message template in order; "%%" gives "%".
std::string formatMessage(const char* tmpl, std::initializer_list<std::string> args) {
  std::string out;
  auto arg = args.begin();
  for (const char* p = tmpl; *p; ++p) {
    if (*p == '%' && (p[1] == 'd' || p[1] == 's')) {
      if (arg != args.end()) out += *arg++;
      ++p;
    } else if (*p == '%' && p[1] == '%') {
      out += '%';
      ++p;
    } else {
      out += *p;
    }
  }
  return out;
}

}  // namespace

void SetApplicationErrorReport(TVaErrorReport report) {
  std::lock_guard l(gReportMutex);
  gReport = std::move(report);
}

uint32_t eventMaskBit(TVaCommEvent e) {
  static constexpr uint32_t bits[] = {ev::Break,    ev::Cts,    ev::Dsr,     ev::Err,    ev::Ring,
                                      ev::Rlsd,     ev::RxChar, ev::TxEmpty, ev::RxFlag, ev::PErr,
                                      ev::Rx80Full, ev::Event1, ev::Event2};
  return e <= ceEvent2 ? bits[e] : 0;
}

TVaCustomComm::TVaCustomComm(void* owner) : TVaComponent(owner) {
  flowControl_.OnChange = [this](TVaPersistent*) { ApplyLineSettings(); };
  eventChars_.OnChange = [this](TVaPersistent*) { ApplyLineSettings(); };
  buffers_.OnChange = [this](TVaPersistent*) { OnBuffersChange(); };
}

TVaCustomComm::~TVaCustomComm() {
  destroying_ = true;
  try {
    ClosePort();
  } catch (...) {
  }
  while (!receivers_.empty()) {
    receivers_.back()->Port = nullptr;
    receivers_.pop_back();
  }
}

void TVaCustomComm::Loaded() {
  if (autoOpen_) OpenPort();
}

void TVaCustomComm::ReportError(const std::exception& e) {
  if (ErrorReport) {
    ErrorReport(e);
    return;
  }
  TVaErrorReport report;
  {
    std::lock_guard l(gReportMutex);
    report = gReport;
  }
  if (report)
    report(e);
  else
    std::cerr << e.what() << std::endl;
}

void TVaCustomComm::RaiseError(const char* tmpl, int err) {
  throw EVaCommError(formatMessage(tmpl, {std::to_string(err), systemText(err)}));
}

void TVaCustomComm::RequireClosed() const {
  if (IsOpen()) throw EVaCommError("Can't perform this operation while port is open");
}

std::string TVaCustomComm::FormattedDeviceName() const {
  // "%d" (with optional flags and width) takes the port number; "%%" is a percent sign; any
  // other text is copied unchanged.
  std::string out;
  const std::string& n = deviceName_;
  for (size_t i = 0; i < n.size(); ++i) {
    if (n[i] == '%' && i + 1 < n.size() && n[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    if (n[i] == '%') {
      size_t j = i + 1;
      bool zero = false, left = false;
      while (j < n.size() && (n[j] == '0' || n[j] == '-')) (n[j++] == '0' ? zero : left) = true;
      size_t width = 0;
      while (j < n.size() && isdigit(static_cast<unsigned char>(n[j])) && width < 64)
        width = width * 10 + static_cast<size_t>(n[j++] - '0');
      if (j < n.size() && (n[j] == 'd' || n[j] == 'i' || n[j] == 'u')) {
        std::string num = std::to_string(portNum_);
        if (num.size() < width) {
          std::string pad(width - num.size(), zero && !left ? '0' : ' ');
          num = left ? num + pad : pad + num;
        }
        out += num;
        i = j;
        continue;
      }
    }
    out += n[i];
  }
  return out;
}

// ---------------------------------------------------------------- open and close

void TVaCustomComm::OpenPort() {
  RequireClosed();
  OpenDevice();
  if (!IsOpen()) return;
  try {
    ApplyLineSettings();
    ApplyBufferSizes();
    ApplyTimeouts();
    ApplyEventMask();
    StartThreads();
  } catch (...) {
    StopThreads();
    CloseDevice();
    throw;
  }
  if (OnOpen) {
    try {
      OnOpen(this);
    } catch (const std::exception& e) {
      ReportError(e);
    }
  }
}

void TVaCustomComm::OpenDevice() {
  const std::string name = FormattedDeviceName();
  int err = 0;
  TVaDevicePtr d;
  if (opener_) {
    d = opener_(name, err);
  } else {
    d = OpenSystemDevice(name, err);
  }
  if (!d) {
    if (err == 0) err = ENODEV;
    if (err == ENOENT) throw EVaCommError("Specified device not found (" + name + ").");
    throw EVaCommError("Can't open specified device " + name +
                       formatMessage(" (Error %d, %s)", {std::to_string(err), systemText(err)}));
  }
  device_ = std::move(d);
  token_ = std::make_shared<TVaSyncToken>();
  lost_ = false;
}

void TVaCustomComm::ApplyLineSettings() {
  if (!IsOpen() || !updateDCB_) return;
  TVaDcb d = BuildLineConfiguration(baudrate_, userBaudrate_, parity_, databits_, stopbits_, options_, flowControl_,
                                    eventChars_, buffers_);
  CheckResult(device_->applyLineConfiguration(d), "Error writing dcb (%d), %s");
}

void TVaCustomComm::ApplyBufferSizes() {
  if (!IsOpen()) return;
  CheckResult(
      device_->setQueueSizes(static_cast<uint32_t>(buffers_.ReadSize()), static_cast<uint32_t>(buffers_.WriteSize())),
      "Error initializing buffers (%d), %s");
}

void TVaCustomComm::ApplyTimeouts() {
  if (!IsOpen()) return;
  CheckResult(device_->setNonBlockingTimeouts(), "Error setting timeouts (%d), %s");
}

void TVaCustomComm::ApplyEventMask() {
  uint32_t mask = 0;
  for (int e = ceBreak; e <= ceEvent2; ++e)
    if (monitorEvents_ & (1u << e)) mask |= eventMaskBit(static_cast<TVaCommEvent>(e));
  if (!directWrite_) mask &= ~ev::TxEmpty;  // the write thread reports an empty queue itself
  eventMask_ = mask;
  if (!IsOpen()) return;
  CheckResult(device_->setEventMask(mask), " Error setting EventMask (%d), %s");
}

void TVaCustomComm::StartThreads() {
  if (eventMask_ == 0 && directWrite_) return;
  if (!sync_) throw EVaCommError("No main-thread hand-over is set for this port");
  TVaThreadLink link;
  link.device = device_;
  link.sync = sync_;
  link.token = token_;
  TVaSyncTokenPtr token = token_;
  // Both run on the main thread, and only while the token is valid: the port is open, so `this`
  // is alive when they start (a handler may close the port, but not destroy it).
  link.dispatch = [this, token](uint32_t mask) {
    if (Current(token)) DispatchEvents(mask);
  };
  link.lost = [this, token](int err) {
    if (Current(token)) ReportDeviceLost(err);
  };
  if (eventMask_ != 0) eventThread_ = TVaCommEventThread::Start(link, eventPriority_);
  if (!directWrite_) writeThread_ = TVaCommWriteThread::Start(link, writeLock_, buffers_.WriteSize(), writePriority_);
}

void TVaCustomComm::StopThreads() {
  if (token_) {
    token_->invalidate();
    if (sync_) sync_->cancel(token_);
  }
  if (eventThread_) {
    eventThread_->Stop();
    eventThread_.reset();
  }
  if (writeThread_) {
    writeThread_->Stop();
    writeThread_.reset();
  }
}

void TVaCustomComm::CloseDevice() {
  if (device_) device_->close();
  device_.reset();
}

void TVaCustomComm::ClosePort() {
  if (!IsOpen()) return;
  {
    std::lock_guard s(statusLock_);
    StopThreads();
  }
  CloseDevice();
  token_.reset();
  lost_ = false;
  if (!destroying_ && OnClose) OnClose(this);
}

void TVaCustomComm::ReportDeviceLost(int err) {
  if (lost_) return;
  lost_ = true;
  ReportError(EVaCommError("Device " + FormattedDeviceName() + " is no longer available" +
                           formatMessage(" (Error %d, %s)", {std::to_string(err), systemText(err)})));
}

// ---------------------------------------------------------------- status, purge, lines

TVaCommStatus TVaCustomComm::QueryStatus() {
  std::lock_guard s(statusLock_);
  TVaCommStatus st;
  if (IsOpen()) CheckResult(device_->clearError(st.Errors, st.Stat), "Error retrieving statistics (%d), %s");
  return st;
}

void TVaCustomComm::PurgeBuffers(uint32_t flags) {
  if (!IsOpen()) return;
  std::lock_guard s(statusLock_);
  if (flags != (purge::RxAbort | purge::RxClear) && writeThread_) writeThread_->PurgeQueue();
  CheckResult(device_->purge(flags), "Error clearing buffers (%d), %s");
}

void TVaCustomComm::EscapeFunction(uint32_t code) {
  if (!IsOpen()) return;
  CheckResult(device_->escape(code), "Error calling comm function (%d), %s");
}

void TVaCustomComm::SetRtsLine(bool level) {
  if (flowControl_.ControlRts() == rtsHandshake || flowControl_.ControlRts() == rtsToggle)
    throw EVaCommError("RTS line updates not allowed when flowcontrol is set to Handshake or Toggle.");
  EscapeFunction(level ? esc::SetRts : esc::ClrRts);
}

// ---------------------------------------------------------------- receive path

void TVaCustomComm::DispatchEvents(uint32_t mask) {
  TVaSyncTokenPtr token = token_;
  try {
    if (mask & ev::RxChar) {
      HandleRxChar();
      mask &= ~ev::RxChar;
    }
    if (mask != 0 && Current(token)) HandleEvents(mask);
  } catch (const std::exception& e) {
    ReportError(e);
  } catch (...) {
    ReportError(EVaCommError("Unknown error in a port event handler"));
  }
}

void TVaCustomComm::HandleRxChar() {
  int32_t n = InputCount();
  if (n <= 0) return;
  if (!receivers_.empty()) {
    std::vector<uint8_t> bytes(static_cast<size_t>(n));
    // The device may deliver fewer bytes than it counted; the rest comes with a later batch.
    int32_t got = ReadBytes(bytes.data(), n);
    if (got > 0) DeliverData(bytes.data(), got);
  } else if (OnRxChar) {
    OnRxChar(this, n);
  }
}

void TVaCustomComm::CheckErrors() {
  TVaCommStatus st = QueryStatus();
  if (st.Errors != 0 && OnError) {
    try {
      OnError(this, static_cast<int32_t>(st.Errors));
    } catch (const std::exception& e) {
      ReportError(e);
    }
  }
}

void TVaCustomComm::HandleEvents(uint32_t mask) {
  TVaSyncTokenPtr token = token_;
  // A handler may close the port; nothing of this batch fires after that.
  auto live = [&] { return !token || Current(token); };
  if (mask & ev::Err) CheckErrors();
  if (!receivers_.empty() && live()) NotifyReceivers(mask);
  const std::pair<uint32_t, TVaNotifyEvent*> order[] = {
      {ev::RxFlag, &OnRxFlag},     {ev::Cts, &OnCts},         {ev::Dsr, &OnDsr},      {ev::Ring, &OnRing},
      {ev::Rlsd, &OnRlsd},         {ev::TxEmpty, &OnTxEmpty}, {ev::Break, &OnBreak},  {ev::PErr, &OnPErr},
      {ev::Rx80Full, &OnRx80Full}, {ev::Event1, &OnEvent1},   {ev::Event2, &OnEvent2}};
  for (auto& [bit, handler] : order) {
    if (!live()) return;
    if ((mask & bit) && *handler) (*handler)(this);
  }
}

void TVaCustomComm::NotifyReceivers(uint32_t mask) {
  size_t n = receivers_.size();
  for (size_t i = 0; i < n && i < receivers_.size(); ++i)
    if (receivers_[i]->Active) receivers_[i]->TakeEvents(mask);
}

void TVaCustomComm::DeliverData(const uint8_t* data, int32_t count) {
  size_t n = receivers_.size();
  for (size_t i = 0; i < n && i < receivers_.size(); ++i)
    if (receivers_[i]->Active) receivers_[i]->TakeData(data, count);
  if (OnRxBuf) OnRxBuf(this, data, count);
}

TVaCommReceiver::~TVaCommReceiver() {
  if (Port) Port->DetachReceiver(this);
}

void TVaCustomComm::AttachReceiver(TVaCommReceiver* r) {
  if (!r || r->Port == this) return;
  if (r->Port) r->Port->DetachReceiver(r);
  r->Port = this;
  receivers_.push_back(r);
}

void TVaCustomComm::DetachReceiver(TVaCommReceiver* r) {
  for (auto it = receivers_.begin(); it != receivers_.end(); ++it)
    if (*it == r) {
      r->Port = nullptr;
      receivers_.erase(it);
      return;
    }
}

int32_t TVaCustomComm::InputCount() {
  if (!IsOpen()) return 0;
  return static_cast<int32_t>(QueryStatus().Stat.InQue);
}

int32_t TVaCustomComm::ReadBytes(uint8_t* buffer, int32_t count) {
  if (!IsOpen() || count <= 0 || !buffer) return 0;
  std::lock_guard s(statusLock_);
  size_t got = 0;
  CheckResult(device_->read(buffer, static_cast<size_t>(count), got), "Read error (%d), %s");
  return static_cast<int32_t>(got);
}

std::string TVaCustomComm::ReadAll() {
  int32_t n = InputCount();
  if (n <= 0) return {};
  std::string s(static_cast<size_t>(n), '\0');
  int32_t got = ReadBytes(reinterpret_cast<uint8_t*>(s.data()), n);
  s.resize(static_cast<size_t>(got > 0 ? got : 0));  // only the bytes actually read
  return s;
}

// ---------------------------------------------------------------- write path

int32_t TVaCustomComm::WriteBytes(const uint8_t* data, int32_t count) {
  if (!IsOpen() || count <= 0 || !data) return 0;
  if (directWrite_) {
    std::lock_guard w(*writeLock_);
    size_t written = 0;
    CheckResult(device_->write(data, static_cast<size_t>(count), buffers_.ReadTimeout(), written),
                "Write error (%d), %s");
    return written == static_cast<size_t>(count) ? count : 0;
  }
  if (!writeThread_ || !writeThread_->Enqueue(data, count, buffers_.WriteTimeout()))
    throw EVaCommError("Output buffer is full. Please check comm status.");
  return count;
}

bool TVaCustomComm::WriteString(const std::string& s) {
  return WriteBytes(reinterpret_cast<const uint8_t*>(s.data()), static_cast<int32_t>(s.size())) ==
         static_cast<int32_t>(s.size());
}

bool TVaCustomComm::WriteByte(uint8_t b) { return WriteBytes(&b, 1) == 1; }

int32_t TVaCustomComm::OutputSpace() {
  if (!IsOpen()) return 0;
  if (directWrite_) return buffers_.WriteSize() - static_cast<int32_t>(QueryStatus().Stat.OutQue);
  std::lock_guard w(*writeLock_);
  // The queue's capacity was fixed at open; a size stored since then applies at the next open.
  return writeThread_ ? writeThread_->Capacity() - writeThread_->Used() : 0;
}

bool TVaCustomComm::WaitUntilSent() {
  if (!IsOpen()) return false;
  const int limit = buffers_.ReadTimeout();
  // The write queue first: it empties as the thread hands its bytes to the device.
  if (writeThread_ && !waitUntilDrained([&] { return writeThread_->Used(); }, limit)) return false;
  return device_->waitUntilSent(limit) == 0;
}

// ---------------------------------------------------------------- properties

void TVaCustomComm::SetBaudrate(TVaBaudrate v) {
  if (v == baudrate_) return;
  baudrate_ = v;
  if (v != brUser) userBaudrate_ = 0;
  ApplyLineSettings();
}

void TVaCustomComm::SetUserBaudrate(int32_t v) {
  if (v == userBaudrate_) return;
  userBaudrate_ = v;
  baudrate_ = brUser;
  ApplyLineSettings();
}

void TVaCustomComm::SetParity(TVaParity v) {
  if (v == parity_) return;
  parity_ = v;
  ApplyLineSettings();
}

void TVaCustomComm::SetDatabits(TVaDatabits v) {
  if (v == databits_) return;
  databits_ = v;
  ApplyLineSettings();
}

void TVaCustomComm::SetStopbits(TVaStopbits v) {
  if (v == stopbits_) return;
  stopbits_ = v;
  ApplyLineSettings();
}

void TVaCustomComm::SetOptions(TVaCommOptions v) {
  if (v == options_) return;
  options_ = v;
  ApplyLineSettings();
}

void TVaCustomComm::SetPortNum(TVaPortInt v) {
  RequireClosed();
  portNum_ = v < 0 ? 0 : v;
}

void TVaCustomComm::SetDeviceName(const std::string& v) {
  RequireClosed();
  deviceName_ = v;
}

void TVaCustomComm::SetMonitorEvents(TVaCommEvents v) {
  RequireClosed();
  monitorEvents_ = v;
}

void TVaCustomComm::SetBuffers(const TVaBuffers& v) {
  RequireClosed();
  buffers_.Assign(v);
}

void TVaCustomComm::OnBuffersChange() {
  RequireClosed();
  ApplyBufferSizes();
  ApplyLineSettings();
}

void TVaCustomComm::SetEventPriority(TThreadPriority v) {
  if (v == eventPriority_) return;
  eventPriority_ = v;
  if (eventThread_) eventThread_->SetPriority(v);
}

void TVaCustomComm::SetWritePriority(TThreadPriority v) {
  if (v == writePriority_) return;
  writePriority_ = v;
  if (writeThread_) writeThread_->SetPriority(v);
}

void TVaCustomComm::SetDirectWrite(bool v) {
  RequireClosed();
  directWrite_ = v;
}

void TVaCustomComm::SetUpdateDCB(bool v) {
  RequireClosed();
  updateDCB_ = v;
}

}  // namespace ostrel::serial
