#pragma once
// One serial port of a command: the port's name located (PortLocation.h),
// the busy/missing/permission check with its message, the line settings, and
// waiting for received bytes with a deadline on a main loop of its own (no
// toolkit).
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "cli/Args.h"
#include "core/LineDefaults.h"
#include "serial/VaComm.h"

namespace ostrel::cli {

struct LineSettings {
  long speed = 19200;
  serial::TVaParity parity = serial::paEven;
  serial::TVaStopbits stop = serial::sb1;
  // Bits one byte takes on the line: start, 8 data, parity, stop.
  int bitsPerByte() const;
};

// --speed, --parity and --stop with the given defaults (a line's defaults:
// LineDefaults.h); usage errors for anything the port cannot be set to.
LineSettings LineFromArgs(const Args& args, const LineDefaults& defaults);

// The options every port command takes.
std::vector<OptionSpec> PortOptions();

using Clock = std::chrono::steady_clock;

class CliPort {
 public:
  // Opens the port named by --port (see LocatePort). Throws CliError: usage
  // for a name that is no port, port (exit 3) for a missing, busy or
  // forbidden device.
  // With force, a port that another program has open is opened all the same (see LocatePort).
  CliPort(const std::string& name, const LineSettings& line, bool force = false);
  ~CliPort();
  CliPort(const CliPort&) = delete;
  CliPort& operator=(const CliPort&) = delete;

  const std::string& name() const { return name_; }
  // A Modbus TCP server: it carries Modbus requests only.
  bool modbusOnly() const { return modbusOnly_; }
  const LineSettings& line() const { return line_; }
  // Called on this thread with every batch of received bytes.
  void onBytes(std::function<void(const std::string&)> handler) { onBytes_ = std::move(handler); }

  // Writes all bytes at once. With rts, RTS is raised before and dropped
  // once the bytes have left the output queue (bounded by their wire time).
  void write(const std::string& bytes, bool rts = false);
  void purge();

  enum class Wait { Done, TimedOut, Interrupted };
  // Hands received bytes to the handler until done() holds, the deadline
  // passes or the user interrupts. Throws CliError(port) when the device
  // went away.
  Wait waitUntil(const std::function<bool()>& done, Clock::time_point deadline);

  // An exchange ended without its whole reply: the rest of it, or all of it, may still be on
  // its way, and must not be taken for the next request's reply. The next settle() waits until
  // the line has been quiet for `quiet`.
  void expectStrayBytes(std::chrono::milliseconds quiet) { strayQuiet_ = quiet; }
  // After expectStrayBytes: discards what arrives until the line has been quiet long enough (at
  // most four times that long, for a line that never falls quiet), then empties the input
  // queue. Otherwise it only empties the queue.
  Wait settle();

  // Wire time of n bytes at this line's speed.
  std::chrono::microseconds wireTime(size_t bytes) const;

 private:
  void checkLost();

  std::string name_;
  std::string noun_;  // "serial port" or "network port"
  bool modbusOnly_ = false;
  LineSettings line_;
  std::shared_ptr<serial::TVaMainLoop> loop_;
  serial::TVaComm port_;
  std::function<void(const std::string&)> onBytes_;
  std::string lostMessage_;
  std::chrono::milliseconds strayQuiet_{0};
  int openError_ = 0;  // the system's refusal of the last open (errno), 0 after a good one
};

}  // namespace ostrel::cli
