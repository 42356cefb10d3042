// ostrel-cli ports: the device map's COMn entries and the serial devices
// found under /dev, each with where it leads and whether it can be opened.
#include <dirent.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/core/DeviceMap.h"
#include "app/core/DeviceProbe.h"
#include "cli/Args.h"
#include "cli/Commands.h"
#include "cli/Exit.h"
#include "cli/Records.h"

namespace ostrel::cli {
namespace {

const char* kHelp =
    "Usage: ostrel-cli ports\n"
    "\n"
    "Lists the device map (COMn names and the devices they lead to; the folder is\n"
    "$OSTREL_DEVICE_DIR, or ~/.config/ostrel/ports) and the serial devices under\n"
    "/dev (USB adapters ttyUSB and ttyACM, /dev/serial/by-id, on-board ttyS ports\n"
    "that have a UART), each with its state: free, busy, no permission, missing.\n"
    "A COMn name without a map entry is the on-board port /dev/ttyS(n-1).\n";

std::vector<std::string> entries(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (const dirent* e = ::readdir(d)) {
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    }
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string state(const std::string& path) {
  switch (DeviceProbe(path).status) {
    case ProbeStatus::Ok: return "free";
    case ProbeStatus::Busy: return "busy";
    case ProbeStatus::Missing: return "missing";
    case ProbeStatus::NoPermission: return "no permission";
    case ProbeStatus::OtherError: return "not a serial port";
  }
  return "";
}

// An on-board ttyS port without a UART behind it reports the type unknown.
bool hasUart(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == EACCES || errno == EBUSY;  // can't tell: show it
  serial_struct info{};
  const bool known = ::ioctl(fd, TIOCGSERIAL, &info) != 0 || info.type != PORT_UNKNOWN;
  ::close(fd);
  return known;
}

std::string row(const std::string& name, const std::string& device, const std::string& st) {
  char line[512];
  std::snprintf(line, sizeof line, "%-28s %-44s %s\n", name.c_str(), device.c_str(), st.c_str());
  return line;
}

}  // namespace

int PortsCommand(const Words& words) {
  const Args args("ports", {{"--help", false, "-h"}}, words);
  if (args.has("--help")) return PrintHelp(kHelp);
  const char* env = std::getenv("OSTREL_DEVICE_DIR");
  const std::string mapDir = env && *env ? env : DefaultDeviceMapDir();
  std::string out = "Device map " + mapDir + ":\n";
  int mapped = 0;
  for (const auto& name : entries(mapDir)) {
    if (name.rfind("COM", 0) != 0) continue;
    const std::string path = ResolveDeviceName(name, mapDir.c_str());
    out += "  " + row(name, path, state(path));
    ++mapped;
  }
  if (mapped == 0) out += "  (no entries; COMn is /dev/ttyS(n-1))\n";

  out += "Serial devices:\n";
  for (const auto& name : entries("/dev/serial/by-id")) {
    const std::string path = "/dev/serial/by-id/" + name;
    out += "  " + row(path, "", state(path));
  }
  for (const auto& name : entries("/dev")) {
    const bool usb = name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0;
    const bool onboard = name.rfind("ttyS", 0) == 0;
    if (!usb && !onboard) continue;
    const std::string path = "/dev/" + name;
    if (onboard && !hasUart(path)) continue;
    std::string alias;
    if (onboard) {
      long n = 0;
      if (ParseWhole(name.substr(4), 0, 255, n)) alias = "COM" + std::to_string(n + 1) + " without a map entry";
    }
    out += "  " + row(path, alias, state(path));
  }
  WriteRecord(1, out);
  return kExitOk;
}

}  // namespace ostrel::cli
