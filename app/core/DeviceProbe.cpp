#include "app/core/DeviceProbe.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace ostrel {
namespace {

std::string groupOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return {};
  std::vector<char> buffer(16384);
  group g {};
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
    case EBUSY:
      return ProbeStatus::Busy;
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
      return ProbeStatus::Missing;
    case EACCES:
    case EPERM:
      return ProbeStatus::NoPermission;
    default:
      return ProbeStatus::OtherError;
  }
}

}  // namespace

ProbeResult DeviceProbe(const std::string& path) {
  int fd;
  do fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    const int err = errno;
    ProbeResult r = fail(classifyOpenError(err), err);
    if (r.status == ProbeStatus::NoPermission) r.groupName = groupOf(path);
    return r;
  }

  ProbeResult r;
  r.status = ProbeStatus::Ok;
  int exclusive = 0;
  if (::ioctl(fd, TIOCGEXCL, &exclusive) != 0) {
    r = fail(ProbeStatus::OtherError, errno);  // ENOTTY: not a serial device
  } else if (exclusive) {
    r = fail(ProbeStatus::Busy, EBUSY);  // held exclusively by another opener (we are root)
  } else {
    const bool madeExclusive = ::ioctl(fd, TIOCEXCL) == 0;
    int rc;
    do rc = ::flock(fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) r = fail(errno == EWOULDBLOCK ? ProbeStatus::Busy : ProbeStatus::OtherError, errno);
    if (madeExclusive) (void)::ioctl(fd, TIOCNXCL);
  }
  ::close(fd);  // also releases our flock
  return r;
}

std::string PermissionRemedy(const std::string& group) {
  if (group.empty()) return "Ask your administrator to add your user to the group that owns the device, then log out "
                            "and log in again.";
  return "Ask your administrator to add your user to the group \"" + group + "\" (sudo usermod -aG " + group +
         " $USER), then log out and log in again.";
}

std::string ProbeMessage(const ProbeResult& result, const std::string& portName, const std::string& devicePath,
                         const std::string& mapDir) {
  if (result.status != ProbeStatus::Ok && portName.empty() && devicePath.empty()) return kNoPortNameText;
  const std::string where = portName == devicePath || portName.empty() ? devicePath : portName + " (" + devicePath + ")";
  switch (result.status) {
    case ProbeStatus::Ok:
      return {};
    case ProbeStatus::Busy:
      return kPortBusyText;
    case ProbeStatus::Missing: {
      std::string text = "The serial port " + where + " does not exist (" + result.systemText +
                         ").\nCheck that the adapter is plugged in and that the port name is right.";
      const bool comName = portName.size() > 3 && (portName[0] | 0x20) == 'c' && (portName[1] | 0x20) == 'o' &&
                           (portName[2] | 0x20) == 'm';
      if (comName && !mapDir.empty())
        text += "\nTo use another device as " + portName + ", make " + mapDir + "/" + portName +
                " a link to it (for example to /dev/serial/by-id/...).";
      return text;
    }
    case ProbeStatus::NoPermission: {
      return "You have no permission to open the serial port " + where + " (" + result.systemText + ").\n" +
             PermissionRemedy(result.groupName);
    }
    case ProbeStatus::OtherError:
      break;
  }
  return "The serial port " + where + " cannot be opened (" + result.systemText + ").";
}

}  // namespace ostrel
