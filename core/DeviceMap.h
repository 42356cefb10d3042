#pragma once
// How a port name of the window reaches a device on Linux.
//
// The window names ports as on Windows and forms "\\.\COM3" from "COM3".
// ResolveDeviceName turns such a name into a device path:
//   - the prefix "\\.\" is removed;
//   - a name beginning with "/" is a device path and is used as it is
//     ("/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_...", "/dev/pts/5");
//   - "COMn" (any case, n = 1 .. 256 without leading zeros) is looked up in
//     the device map folder: its entry "COMn" (upper case) is usually a
//     symbolic link to the real device, e.g.
//         ln -s /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0 ~/.config/ostrel/ports/COM3
//     and the link's target is returned (relative targets are taken from
//     the map folder); an entry that is not a link is returned as its own
//     path. A link's target may be a URL of a port across the network
//         ln -s rfc2217://10.0.4.7:4001 ~/.config/ostrel/ports/COM7
//     (see NetworkAddress.h); it is returned as it is. Without an entry, COMn is the on-board port /dev/ttyS(n-1).
//   - any other name is returned unchanged.
// The map folder is $OSTREL_DEVICE_DIR when that is set and not empty,
// otherwise $XDG_CONFIG_HOME/ostrel/ports, or ~/.config/ostrel/ports when
// XDG_CONFIG_HOME is not set.
// Tools > "Serial ports…" lists and writes the map (DeviceMapFolder.h,
// PortsSurvey.h); a user may also make the links by hand.
#include <string>

#include "core/ComName.h"

namespace ostrel {

// The device COMn reaches when the map has no entry for it: /dev/ttyS(n-1).
std::string OnBoardDevice(int n);

// The map folder used when no override is given (see above).
std::string DefaultDeviceMapDir();

// The map folder: the override when it is set and not empty, else the default.
std::string DeviceMapDir(const char* mapDirOverride);

// mapDirOverride: the value of OSTREL_DEVICE_DIR (null or empty: the default
// folder). The window calls ResolveDeviceName(name, std::getenv("OSTREL_DEVICE_DIR")).
std::string ResolveDeviceName(const std::string& name, const char* mapDirOverride);

}  // namespace ostrel
