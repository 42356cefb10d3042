#include <cerrno>

#include "cli/Exit.h"
#include "cli/NetworkPort.h"
#include "cli/PortLocation.h"

namespace ostrel::cli {

namespace {

// 3 for "COM3" or "com3", 0 for anything else.
int comNumber(const std::string& name) {
  if (name.size() < 4 || name.size() > 6) return 0;
  for (int i = 0; i < 3; ++i) {
    if ((name[static_cast<size_t>(i)] | 0x20) != "com"[i]) return 0;
  }
  int n = 0;
  for (size_t i = 3; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return 0;
    n = n * 10 + (name[i] - '0');
  }
  return name[3] == '0' ? 0 : n;
}

}  // namespace

PortLocation LocatePort(const std::string& name, bool /*force*/) {
  // Windows opens a COM port for one program only: another's use is refused by the open.
  // The system's own device names ("\\.\COM3") are taken as they are.
  if (name.rfind("\\\\.\\", 0) == 0 && name.size() > 4) return {name, name.substr(4)};
  if (auto network = NetworkLocation(name, name)) return *network;
  const int n = comNumber(name);
  if (n < 1 || n > 256)
    throw UsageError("unknown port '" + name + "': give COM1 .. COM256 or a URL such as rfc2217://host:port");
  const std::string com = "COM" + std::to_string(n);
  return {"\\\\.\\" + com, com};
}

std::string OpenFailureText(const PortLocation& port, int err) {
  if (err == ENOENT)
    return "there is no serial port " + port.where +
           " on this computer ('ostrel-cli ports' lists them; the Device Manager shows an adapter's COM name)";
  if (err == EBUSY) return "the " + port.noun + " " + port.where + " is busy: another program is using it";
  return {};
}

}  // namespace ostrel::cli
