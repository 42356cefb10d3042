#pragma once
// A port across the network as a device: a serial device server reached over TCP, either with
// the telnet COM-PORT-OPTION (line settings, modem lines, purges and break travel to the
// server, its line errors and modem-line changes come back as events) or raw (bytes only; the
// server keeps its own line settings). The port object above sees one more device.
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "serial/NetworkAddress.h"
#include "serial/Telnet.h"
#include "serial/platform/CallInProgress.h"
#include "serial/platform/Socket.h"
#include "serial/platform/VaDevice.h"

namespace ostrel::serial {

// Bounds of the waits a network port makes on the thread that opens it: connecting, with the
// server's acceptance of the COM-PORT-OPTION, within kConnectMs; the server's confirmation of
// new line settings within kConfirmMs (a server that stays silent is not waited for longer:
// the settings are sent all the same). DTR and RTS changes are never waited for: some servers
// do not confirm them.
inline constexpr int kConnectMs = 3000;
inline constexpr int kConfirmMs = 1000;

// Turns what the port writes into what goes on the connection, and what arrives into what the
// port reads (Modbus TCP wraps each frame in a header of its own). Called under the device's
// locks, one direction at a time.
class TVaStreamTransform {
 public:
  virtual ~TVaStreamTransform() = default;
  // Bytes to send for the bytes written; a frame not yet whole may be held back.
  virtual std::string outgoing(const std::string& written) = 0;
  // Bytes for the port from bytes received; incomplete frames are held back.
  virtual std::string incoming(const std::string& received) = 0;
  // Forgets received bytes held back (a purge of the input).
  virtual void reset() = 0;
};

// What the server confirmed of the last line settings (0 where it confirmed nothing).
struct TVaServerLine {
  bool comPort = false;  // the server accepted the COM-PORT-OPTION
  uint32_t baudRate = 0;
  uint8_t dataSize = 0, parity = 0, stopSize = 0;  // the option's own values (telnet.h)
  bool control = false;                            // it confirmed a DTR/RTS/flow setting
};

class TVaNetworkDevice : public TVaDevice {
 public:
  // Connects to the address (never the Modbus TCP kind: that needs its transform, given by the
  // caller, over a raw connection). Returns nullptr and sets err (errno) on failure:
  // ECONNREFUSED, ETIMEDOUT (also for a server that never answered the negotiation), ENOENT
  // for a host name that does not resolve, EPROTONOSUPPORT for a server that refused the
  // COM-PORT-OPTION.
  static std::shared_ptr<TVaNetworkDevice> open(const TVaNetworkAddress& address, int& err,
                                                std::unique_ptr<TVaStreamTransform> transform = nullptr);
  ~TVaNetworkDevice() override;

  TVaServerLine serverLine();
  // Asks the server for its present line settings without changing them (each value 0 asks)
  // and waits for its answers at most timeoutMs.
  TVaServerLine queryServerLine(int timeoutMs);

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
  TVaNetworkDevice() = default;
  bool enter();
  void leave();
  using InProgress = TVaCallInProgress<TVaNetworkDevice>;
  friend InProgress;

  // Under inputM_: takes what has arrived (up to the read-ahead limit) and sorts it into data,
  // answers to the server's negotiation and its notifications.
  void pump();
  void received(const uint8_t* bytes, size_t count);
  void comPortMessage(const std::string& sub);
  // Queues bytes for the connection behind those queued before and sends what the system takes.
  void sendControl(const std::string& bytes);
  // Under sendM_: hands queued bytes to the system; an error marks the connection lost.
  int flushLocked();
  bool pendingOutput();
  // Waits on `slot` for arrivals or room for queued bytes until `done` holds or the deadline
  // passes; false on a timeout, a lost connection or a close.
  template <class Done>
  bool waitFor(TVaSocket::Slot slot, int timeoutMs, Done done);
  bool telnet() const { return kind_ == TVaNetworkKind::ComPortControl; }

  TVaNetworkKind kind_ = TVaNetworkKind::Raw;
  std::unique_ptr<TVaSocket> sock_;
  std::unique_ptr<TVaStreamTransform> transform_;

  std::mutex m_;
  std::condition_variable idle_;
  int busy_ = 0, writers_ = 0;
  bool closed_ = false;

  static constexpr size_t kReadAheadLimit = 64 * 1024;
  std::mutex inputM_;  // the decoder, the negotiation, the read-ahead and the server's answers
  telnet::Decoder decoder_;
  telnet::Negotiation negotiation_;
  std::string in_;
  TVaServerLine server_;
  int confirmed_ = 0;  // line settings confirmed since they were last sent

  std::mutex sendM_;
  std::string pending_;  // bytes for the connection the system has not taken yet

  std::atomic<int> lost_{0};  // the error that ended the connection, 0 while it lasts
  std::atomic<uint32_t> mask_{0}, events_{0}, errors_{0};
  std::atomic<uint8_t> evtChar_{0};
  std::atomic<bool> flagPending_{false}, checkParity_{false}, cancel_{false}, interrupt_{false}, txPending_{false};
  std::atomic<uint64_t> consumed_{0};
  int announced_ = 0;  // event thread only
  uint64_t consumedSeen_ = 0;
};

// Opens the port a URL names (rfc2217:// or tcp://); EINVAL for a URL that is not valid or
// names a Modbus TCP server.
TVaDevicePtr OpenNetworkDevice(const std::string& url, int& err);

}  // namespace ostrel::serial
