#pragma once
// The serial devices of this computer, as the kernel and udev describe them.
//
// Everything is read under a root folder that stands for "/": the device
// nodes from ROOT/dev, their stable names from ROOT/dev/serial/by-id, their
// maker, product, serial number and driver from ROOT/sys. With the root "/"
// this is the running system; tests point it at a fake tree.
#include <string>
#include <vector>

namespace ostrel {

enum class SerialKind {
  UsbSerial,  // /dev/ttyUSBn: a USB-to-serial bridge (FTDI, Prolific, CH340, CP210x ...)
  UsbAcm,     // /dev/ttyACMn: a USB communications-class device
  OnBoard,    // /dev/ttySn: a UART of the computer or of a plug-in card
};

struct SerialDevice {
  SerialKind kind = SerialKind::OnBoard;
  std::string name;        // kernel name, "ttyUSB0"
  std::string path;        // its node, ROOT/dev/ttyUSB0
  std::string stableName;  // its link under ROOT/dev/serial/by-id, empty when it has none
  std::string maker;       // USB manufacturer string
  std::string product;     // USB product string; for a UART its type ("16550A UART at 0x3F8")
  std::string serialNumber;
  std::string usbId;   // "0403:6001"
  std::string driver;  // "ftdi_sio", "cdc_acm", "serial"

  // What a COM name should point at: the stable name when there is one.
  const std::string& linkTarget() const { return stableName.empty() ? path : stableName; }
};

struct SerialDeviceList {
  std::vector<SerialDevice> devices;     // USB adapters first, each kind in number order
  bool stableNamesFolderExists = false;  // ROOT/dev/serial/by-id
};

// USB adapters (ttyUSB*, ttyACM*) present under ROOT/dev, and the ttyS*
// ports behind which the kernel found a UART (its sysfs "type" is not 0,
// the unknown type it gives to every empty slot). Missing or unreadable
// sysfs details are left empty; an on-board port without them is left out.
SerialDeviceList FindSerialDevices(const std::string& root);

// The folder that stands for "/": rootOverride (the value of
// OSTREL_DEVICE_ROOT, for tests and demonstrations) when it is set and not
// empty, otherwise "/".
std::string DeviceRootDir(const char* rootOverride);

}  // namespace ostrel
