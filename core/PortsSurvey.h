#pragma once
// One look at the serial ports of this computer: each device with the COM
// names that reach it, who uses it, and whether this user may open it; the
// device map's entries with the device each leads to; notes on anything
// that stands in the way. And the one change a user makes from it: giving a
// device a COM name.
#include <cstddef>
#include <string>
#include <vector>

#include "core/DeviceAccess.h"
#include "core/DeviceMapFolder.h"
#include "core/OwnUse.h"
#include "core/SerialDevices.h"

namespace ostrel {

struct SurveyInput {
  std::string root = "/";  // stands for "/" (see SerialDevices.h); its proc folder names the other programs
  std::string mapFolder;   // the device map
  std::vector<OwnUse> ownUse;
  Credentials credentials;
};

struct PortStatus {
  SerialDevice device;
  std::vector<std::string> comNames;  // map entries that lead here, in number order
  std::string defaultComName;         // an on-board port's COMn when the map has no entry of that name
  std::vector<std::string> usedBy;    // "Ostrel's panel link", "minicom (pid 812)"
  DeviceAccess access;

  std::string comNamesText() const;  // "COM3, COM1 (default)"
};

struct MappedName {
  MapEntry entry;
  int device = -1;  // index into PortsSurvey::ports, -1: leads to none of them
};

struct PortsSurvey {
  std::vector<PortStatus> ports;
  DeviceMapListing map;
  std::vector<MappedName> names;   // the map's entries
  std::vector<std::string> notes;  // what stands in the way, in words

  // The question to ask before `name` is given to ports[port]: what it
  // reaches now, when that is another device or a missing one. Empty when
  // there is nothing to ask (a free name, or already this device's).
  std::string replaceQuestion(std::size_t port, const std::string& name) const;
};

PortsSurvey SurveyPorts(const SurveyInput& input);

// Gives ports[port] the COM name `name` (its link points at the device's
// stable name when it has one) and removes the device's other map links, so
// a device keeps one name: this is how a name is changed, too.
MapChange GiveComName(const PortsSurvey& survey, std::size_t port, const std::string& name);

}  // namespace ostrel
