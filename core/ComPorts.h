#pragma once
// The COM ports Windows knows at this moment (Windows only): the serial devices map of the
// registry, with what the device manager knows of each port's adapter.
#include <string>
#include <vector>

namespace ostrel {

struct ComPort {
  std::string name;          // "COM5"
  std::string device;        // the system's device behind it: "\Device\USBSER000"
  std::string description;   // the adapter's friendly name: "USB-SERIAL CH340 (COM5)"; may be empty
  std::string usbId;         // "1A86:7523" for a USB adapter, else empty
  std::string serialNumber;  // the adapter's own serial number, where it has one
  std::string state;         // "free", "busy", or why it cannot be opened or used
};

// The ports present now, in the order of their numbers.
std::vector<ComPort> PresentComPorts();

// Vendor and product of a device instance id ("USB\VID_1A86&PID_7523\5&2A3B..." or
// "FTDIBUS\VID_0403+PID_6001+A10K1Q2BA\0000") as "1A86:7523", and the adapter's serial number
// where the id carries one (a segment the system made up holds "&"); empty where absent.
struct UsbIdentity {
  std::string usbId;
  std::string serialNumber;
};
UsbIdentity UsbIdentityOf(const std::string& instanceId);

}  // namespace ostrel
