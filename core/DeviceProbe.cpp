#include "core/DeviceProbe.h"

#include "core/ComName.h"

namespace ostrel {

std::string PermissionRemedy(const std::string& group) {
  if (group.empty())
    return "No group may use it: ask your administrator to give the device to a group for its users "
           "(a udev rule with GROUP=\"dialout\", MODE=\"0660\") and to add your user to that group, then "
           "log out and log in again.";
  return "Ask your administrator to add your user to the group \"" + group + "\" (sudo usermod -aG " + group +
         " $USER), then log out and log in again.";
}

std::string JoinableGroup(unsigned groupId, unsigned mode, const std::string& groupName) {
  constexpr unsigned kGroupReadWrite = 060;
  if (groupId == 0 || (mode & kGroupReadWrite) != kGroupReadWrite) return {};
  return groupName;
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
