#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "cli/Console.h"
#include "cli/Exit.h"
#include "cli/NetworkPort.h"
#include "cli/PortLocation.h"
#include "core/DeviceHolders.h"
#include "core/DeviceMap.h"
#include "core/DeviceProbe.h"

namespace ostrel::cli {

namespace {

const char* mapOverride() { return std::getenv("OSTREL_DEVICE_DIR"); }

std::string mapDir() {
  const char* dir = mapOverride();
  return dir && *dir ? std::string(dir) : DefaultDeviceMapDir();
}

}  // namespace

PortLocation LocatePort(const std::string& name, bool force) {
  const std::string path = ResolveDeviceName(name, mapOverride());
  // A server across the network is tried by connecting: no device to look at, no holder.
  if (auto network = NetworkLocation(name, path)) return *network;
  if (path.empty() || path[0] != '/')
    throw UsageError(
        "unknown port '" + name +
        "': give COM1 .. COM256, a device path such as /dev/ttyUSB0, or a URL such as rfc2217://host:port");
  const std::string where = path == name ? path : name + " (" + path + ")";
  const ProbeResult probe = DeviceProbe(path);
  if (probe.status == ProbeStatus::Busy)
    throw CliError(kExitPort, "the serial port " + where + " is busy: another program is using it");
  if (!probe.ok()) throw CliError(kExitPort, OneLine(ProbeMessage(probe, name, path, mapDir())));
  // A program that opened the device without taking it for itself passes the probe; the
  // process folder names it, as 'ostrel-cli ports' does.
  if (const auto id = IdentifyFile(path); id && !force) {
    const auto holders = FindDeviceHolders("/proc", {*id}, static_cast<int>(::getpid()))[0];
    if (!holders.empty()) {
      std::string who;
      for (const auto& h : holders) who += (who.empty() ? "" : ", ") + h.describe();
      throw CliError(kExitPort,
                     "the serial port " + where + " is busy: in use by " + who + " (--force opens it all the same)");
    }
  }
  return {path, where};
}

std::string OpenFailureText(const PortLocation& port, int err) {
  // The probe has told missing and forbidden devices apart already; only a race is left.
  if (err == EBUSY) return "the " + port.noun + " " + port.where + " is busy: another program is using it";
  return {};
}

}  // namespace ostrel::cli
