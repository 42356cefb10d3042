#pragma once
// Ports across the network on the command line: a URL given to --port, or a COM name the
// device map gives to one. rfc2217:// and tcp:// carry the line's own frames; modbus-tcp://
// reaches a Modbus TCP server, whose frames the port turns into serial ones and back, so every
// Modbus command works over it unchanged.
#include <optional>
#include <string>

#include "cli/PortLocation.h"
#include "serial/platform/VaDevice.h"

namespace ostrel::cli {

// The location of `target` when it is a URL ("COM7" mapped to it: name "COM7"); nothing when it
// is no URL. Throws UsageError for a URL that is not valid.
std::optional<PortLocation> NetworkLocation(const std::string& name, const std::string& target);

// The message for a network port whose connect failed with err, "" where the port's own says
// it best.
std::string NetworkOpenFailureText(const PortLocation& port, int err);

// Opens a located network port (err: errno, see NetworkDevice.h).
serial::TVaDevicePtr OpenNetworkPort(const std::string& url, int& err);

}  // namespace ostrel::cli
