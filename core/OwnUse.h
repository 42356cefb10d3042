#pragma once
// A device that this program holds open itself ("Ostrel's panel link"), as the serial ports
// dialogs show it.
#include <string>

namespace ostrel {

struct OwnUse {
  std::string path;   // the device the link opened: "/dev/ttyUSB0", "\\.\COM3"
  std::string label;  // "Ostrel's panel link"
};

}  // namespace ostrel
