#pragma once
// Opens a serial device: a port across the network when the name is a URL (NetworkDevice.h),
// else a device of the operating system the program was built for. Each platform's device file
// supplies OpenLocalDevice; the build picks the file, so the port itself never names one.
#include <string>

#include "serial/platform/VaDevice.h"

namespace ostrel::serial {

// Opens `name` for exclusive use. Returns nullptr and sets err (an errno value) on failure:
// ENOENT for a device that does not exist, EBUSY for one another program holds, EACCES when
// the user may not open it.
// A URL that is not valid answers EINVAL; see NetworkDevice.h for the network's errors.
TVaDevicePtr OpenSystemDevice(const std::string& name, int& err);
TVaDevicePtr OpenLocalDevice(const std::string& name, int& err);

}  // namespace ostrel::serial
