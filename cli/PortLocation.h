#pragma once
// What a port name on the command line stands for: the device to open, and the words that
// name it in messages. Each platform has its own rules (the build picks the file): on Linux
// "COMn" goes through the device map, on Windows COM names are the system's own. A URL
// (NetworkPort.h) names a port across the network on both.
#include <string>

namespace ostrel::cli {

struct PortLocation {
  std::string device;                // what the serial component opens
  std::string where;                 // "COM3 (/dev/ttyUSB0)", or the name alone where the two agree
  std::string noun = "serial port";  // what it is, in messages ("network port" for a URL)
  bool modbusOnly = false;           // a Modbus TCP server: Modbus requests only
};

// Throws UsageError for a name that is no port, CliError(kExitPort) for a port that is
// missing, busy or forbidden where that can be told before the open. A port that another
// program has open is busy too (its replies would be shared with it), unless `force`: where the
// system lets two programs open one port, --force lets the user say that is meant.
PortLocation LocatePort(const std::string& name, bool force);

// The message for a port whose open failed with err (an errno value), or "" when the
// serial component's own message says it best.
std::string OpenFailureText(const PortLocation& port, int err);

}  // namespace ostrel::cli
