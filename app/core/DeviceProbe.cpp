#include "app/core/DeviceProbe.h"

#include <grp.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "app/core/DeviceMap.h"
#include "serial/platform/TermiosDevice.h"

namespace ostrel {
namespace {

std::string groupOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return {};
  std::vector<char> buffer(16384);
  group g{};
  group* found = nullptr;
  if (::getgrgid_r(info.st_gid, &g, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) return {};
  return found->gr_name;
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

std::string PermissionRemedy(const std::string& group) {
  if (group.empty())
    return "Ask your administrator to add your user to the group that owns the device, then log out "
           "and log in again.";
  return "Ask your administrator to add your user to the group \"" + group + "\" (sudo usermod -aG " + group +
         " $USER), then log out and log in again.";
}

std::string ProbeMessage(const ProbeResult& result, const std::string& portName, const std::string& devicePath,
                         const std::string& mapDir) {
  if (result.status != ProbeStatus::Ok && portName.empty() && devicePath.empty()) return kNoPortNameText;
  const std::string where =
      portName == devicePath || portName.empty() ? devicePath : portName + " (" + devicePath + ")";
  switch (result.status) {
    case ProbeStatus::Ok: return {};
    case ProbeStatus::Busy: return kPortBusyText;
    case ProbeStatus::Missing: {
      std::string text = "The serial port " + where + " does not exist (" + result.systemText +
                         ").\nCheck that the adapter is plugged in and that the port name is right.";
      // The map's entries are named COM1 to COM256 in upper case, whatever case was typed.
      if (const int n = ComNumber(portName); n != 0 && !mapDir.empty())
        text += "\nTo use another device as " + portName + ", make " + mapDir + "/COM" + std::to_string(n) +
                " a link to it (for example to /dev/serial/by-id/...).";
      return text;
    }
    case ProbeStatus::NoPermission: {
      return "You have no permission to open the serial port " + where + " (" + result.systemText + ").\n" +
             PermissionRemedy(result.groupName);
    }
    case ProbeStatus::OtherError: break;
  }
  return "The serial port " + where + " cannot be opened (" + result.systemText + ").";
}

}  // namespace ostrel
