#include "app/core/DeviceProbe.h"

#include "app/core/ComName.h"

namespace ostrel {

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
