#include "cli/CliPort.h"

#include <cstdlib>
#include <thread>

#include "cli/Console.h"
#include "cli/Exit.h"
#include "cli/Interrupt.h"
#include "cli/NetworkPort.h"
#include "cli/PortLocation.h"
#include "common/Text.h"
#include "core/PortSetup.h"
#include "serial/platform/SystemDevice.h"

namespace ostrel::cli {

using namespace serial;

namespace {}  // namespace

int LineSettings::bitsPerByte() const { return 1 + 8 + (parity == paNone ? 0 : 1) + (stop == sb1 ? 1 : 2); }

std::vector<OptionSpec> PortOptions() {
  return {{"--port", true, "-p"},   {"--speed", true, ""},      {"--parity", true, ""},  {"--stop", true, ""},
          {"--quiet", false, "-q"}, {"--verbose", false, "-v"}, {"--help", false, "-h"}, {"--force", false, ""}};
}

LineSettings LineFromArgs(const Args& args, const LineDefaults& defaults) {
  LineSettings line{static_cast<long>(defaults.speed), defaults.parity, defaults.stop};
  line.speed = args.integer("--speed", 50, 4000000, line.speed);
  if (args.has("--parity")) {
    // A parity's name or its first letter, in any case.
    const std::string p = AsciiLower(args.text("--parity"));
    bool known = false;
    for (const auto& named : kParityNames) {
      const std::string name = AsciiLower(named.name);
      if (p == name || p == name.substr(0, 1)) {
        line.parity = named.parity;
        known = true;
      }
    }
    if (!known) throw UsageError("--parity takes none, even, odd, mark or space (got '" + args.text("--parity") + "')");
  }
  if (args.has("--stop")) {
    const std::string s = args.text("--stop");
    if (s == "1")
      line.stop = sb1;
    else if (s == "1.5")
      line.stop = sb15;
    else if (s == "2")
      line.stop = sb2;
    else
      throw UsageError("--stop takes 1, 1.5 or 2 (got '" + s + "')");
  }
  return line;
}

CliPort::CliPort(const std::string& name, const LineSettings& line, bool force)
    : name_(name), line_(line), loop_(std::make_shared<TVaMainLoop>()) {
  const PortLocation location = LocatePort(name, force);
  const std::string where = location.where;

  UseNoHandshake(port_);
  port_.SetMainThreadSync(loop_);
  port_.SetDeviceName(location.device);
  noun_ = location.noun;
  modbusOnly_ = location.modbusOnly;
  const bool network = location.noun != PortLocation().noun;
  port_.SetDeviceOpener([this, network](const std::string& device, int& err) {
    TVaDevicePtr d = network ? OpenNetworkPort(device, err) : OpenSystemDevice(device, err);
    openError_ = d ? 0 : err;
    return d;
  });
  SetLineRate(port_, static_cast<uint32_t>(line.speed));
  port_.SetParity(line.parity);
  port_.SetDatabits(db8);
  port_.SetStopbits(line.stop);
  port_.ErrorReport = [this, where, network](const std::exception& e) {
    lostMessage_ = !port_.DeviceLost() ? OneLine(e.what())
                   : network           ? "the network port " + where + " is no longer available: the connection ended"
                                       : "the serial port " + where + " is no longer available";
  };
  port_.OnRxChar = [this](TVaCustomComm*, int32_t) {
    const std::string bytes = port_.ReadAll();
    if (!bytes.empty() && onBytes_) onBytes_(bytes);
  };
  try {
    port_.OpenPort();
  } catch (const std::exception& e) {
    std::string text = openError_ && network ? NetworkOpenFailureText(location, openError_) : std::string();
    if (text.empty() && openError_) text = OpenFailureText(location, openError_);
    throw CliError(kExitPort,
                   !text.empty() ? text : "cannot open the " + noun_ + " " + where + ": " + OneLine(e.what()));
  }
}

CliPort::~CliPort() {
  try {
    port_.ClosePort();
  } catch (...) {
    // Closing is best effort; the device is released with the process anyway.
  }
}

void CliPort::checkLost() {
  if (!lostMessage_.empty()) throw CliError(kExitPort, lostMessage_);
}

std::chrono::microseconds CliPort::wireTime(size_t bytes) const {
  return std::chrono::microseconds(static_cast<long long>(bytes) * line_.bitsPerByte() * 1000000 / line_.speed);
}

void CliPort::write(const std::string& bytes, bool rts) {
  checkLost();
  try {
    if (rts) port_.SetRtsLine(true);
    const bool all = port_.WriteString(bytes);
    if (rts) {
      // A direction-switching RS-485 adapter needs RTS until the last stop bit is out.
      const auto until = Clock::now() + wireTime(bytes.size()) * 3 / 2 + std::chrono::milliseconds(10);
      while (port_.QueryStatus().Stat.OutQue > 0 && Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      port_.SetRtsLine(false);
    }
    if (!all) throw CliError(kExitPort, "the " + noun_ + " " + name_ + " did not take all bytes");
  } catch (const EVaCommError& e) {
    throw CliError(kExitPort, "writing to the " + noun_ + " " + name_ + " failed: " + OneLine(e.what()));
  }
  checkLost();
}

void CliPort::purge() {
  try {
    port_.PurgeAll();
  } catch (const EVaCommError& e) {
    throw CliError(kExitPort, "the " + noun_ + " " + name_ + " failed: " + OneLine(e.what()));
  }
}

CliPort::Wait CliPort::waitUntil(const std::function<bool()>& done, Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  loop_->runUntil([&] { return done() || Interrupted() || !lostMessage_.empty() || Clock::now() >= deadline; },
                  std::max(left, std::chrono::milliseconds(0)) + std::chrono::milliseconds(1));
  checkLost();
  if (done()) return Wait::Done;
  return Interrupted() ? Wait::Interrupted : Wait::TimedOut;
}

CliPort::Wait CliPort::settle() {
  const auto quiet = strayQuiet_;
  strayQuiet_ = std::chrono::milliseconds(0);
  auto lastByte = Clock::now();
  const auto end = lastByte + 4 * quiet;
  auto saved = std::move(onBytes_);
  onBytes_ = [&](const std::string&) { lastByte = Clock::now(); };
  Wait result = Wait::Done;
  try {
    while (result == Wait::Done && Clock::now() < end && Clock::now() < lastByte + quiet) {
      const auto until = std::min(end, lastByte + quiet);
      result = waitUntil([&] { return Clock::now() >= std::min(end, lastByte + quiet); }, until);
      if (result == Wait::TimedOut) result = Wait::Done;
    }
  } catch (...) {
    onBytes_ = std::move(saved);
    throw;
  }
  onBytes_ = std::move(saved);
  if (result == Wait::Done) purge();
  return result;
}

}  // namespace ostrel::cli
