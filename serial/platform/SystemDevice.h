#pragma once
// Opens a serial device of the operating system the program was built for. Each platform's
// device file supplies it; the build picks the file, so the port itself never names one.
#include <string>

#include "serial/platform/VaDevice.h"

namespace ostrel::serial {

// Opens `name` for exclusive use. Returns nullptr and sets err (an errno value) on failure:
// ENOENT for a device that does not exist, EBUSY for one another program holds, EACCES when
// the user may not open it.
TVaDevicePtr OpenSystemDevice(const std::string& name, int& err);

}  // namespace ostrel::serial
