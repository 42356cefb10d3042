// The connect's probe on Linux: the port name through the device map, the device opened
// exclusively as the port itself opens it.
#include <grp.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/DeviceMap.h"
#include "core/DeviceProbe.h"
#include "serial/NetworkAddress.h"
#include "serial/platform/TermiosDevice.h"

namespace ostrel {
namespace {

// The device's group, when joining it would let a user in.
std::string groupOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return {};
  std::vector<char> buffer(16384);
  group g{};
  group* found = nullptr;
  if (::getgrgid_r(info.st_gid, &g, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) return {};
  return JoinableGroup(info.st_gid, info.st_mode, found->gr_name);
}

ProbeResult fail(ProbeStatus status, int err) {
  ProbeResult r;
  r.status = status;
  r.errorNumber = err;
  r.systemText = std::strerror(err);
  return r;
}

ProbeStatus classifyOpenError(int err) {
  switch (err) {
    case EBUSY: return ProbeStatus::Busy;
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR: return ProbeStatus::Missing;
    case EACCES:
    case EPERM: return ProbeStatus::NoPermission;
    default: return ProbeStatus::OtherError;
  }
}

}  // namespace

ProbeResult DeviceProbe(const std::string& path) {
  // A port across the network is tried by connecting to it: there is nothing to look at before.
  if (serial::IsNetworkUrl(path)) return ProbeResult{ProbeStatus::Ok, 0, {}, {}};
  int err = 0;
  bool heldElsewhere = false;
  const int fd = serial::OpenTerminalExclusive(path, err, &heldElsewhere);
  if (fd < 0) {
    ProbeResult r = fail(classifyOpenError(err), err);  // ENOTTY: not a serial device
    if (r.status == ProbeStatus::NoPermission) r.groupName = groupOf(path);
    return r;
  }
  // Another opener's exclusive mode lets root in all the same: the port is busy, and its mode
  // stays as that opener set it.
  serial::CloseTerminalExclusive(fd, heldElsewhere);
  if (heldElsewhere) return fail(ProbeStatus::Busy, EBUSY);
  ProbeResult r;
  r.status = ProbeStatus::Ok;
  return r;
}

std::string PortDevicePath(const std::string& deviceName) {
  return ResolveDeviceName(deviceName, std::getenv("OSTREL_DEVICE_DIR"));
}

std::string PortMapFolder() { return DeviceMapDir(std::getenv("OSTREL_DEVICE_DIR")); }

}  // namespace ostrel
