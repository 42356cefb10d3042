#include "serial/platform/SystemDevice.h"

#include "serial/NetworkAddress.h"
#include "serial/NetworkDevice.h"

namespace ostrel::serial {

TVaDevicePtr OpenSystemDevice(const std::string& name, int& err) {
  return IsNetworkUrl(name) ? OpenNetworkDevice(name, err) : OpenLocalDevice(name, err);
}

}  // namespace ostrel::serial
