#pragma once
// The check made before a port is connected: can this device be opened for
// our exclusive use right now? And the message shown when it cannot.
#include <string>

namespace ostrel {

enum class ProbeStatus { Ok, Busy, Missing, NoPermission, OtherError };

struct ProbeResult {
  ProbeStatus status = ProbeStatus::OtherError;
  int errorNumber = 0;     // errno of the failing step (0 for Ok)
  std::string systemText;  // the system's text for errorNumber
  std::string groupName;   // the device's group, when joining it would let a user in
  bool ok() const { return status == ProbeStatus::Ok; }
};

// Opens the device exclusively and closes it again; each platform has its own file.
// Linux: read/write, no controlling terminal, non-blocking. Busy when another program holds
// it: open refused with EBUSY, the terminal's exclusive mode set by another holder, or its
// flock(LOCK_EX) taken (our own ports hold that lock while open, so the same device on both
// links is busy). While we look, the device is put in exclusive mode; that mode is dropped
// again before closing so that the probe never leaves a device locked against others. A path
// that is not a terminal is an OtherError.
// Windows: CreateFile without sharing, as the port opens it. A missing COM port is Missing,
// one another program holds (access denied, a sharing violation) is Busy, and errorNumber
// and systemText carry the Win32 code and the system's own text for it.
ProbeResult DeviceProbe(const std::string& path);

// Where a port name of the window ("\\.\COM3") leads: on Linux the device map's entry (see
// DeviceMap.h), on Windows the system's own name.
std::string PortDevicePath(const std::string& deviceName);
// The device map's folder for the connect's hint; empty where COM names are the system's own.
std::string PortMapFolder();

inline constexpr const char* kConnectTitle = "Connect to port";
inline constexpr const char* kPortBusyText = "This serial port is already in use!";
inline constexpr const char* kNoPortNameText =
    "No serial port is chosen: the port name is empty.\nEnter a port name such as COM1 and connect again.";

// What a user does to be allowed to open a device of `group`: join the group, with the command
// for it, then log in again. Empty `group`: no group whose members may use the device (its
// permissions leave the group out, or its group is root, which is no group to join for this);
// the remedy is then a rule that gives the device to a group for its users.
std::string PermissionRemedy(const std::string& group);

// The device's group when its members may read and write it and it is not root's group: the
// group a user can usefully be told to join. Empty otherwise.
std::string JoinableGroup(unsigned groupId, unsigned mode, const std::string& groupName);

// The message box text for a failed probe. portName is what the user chose
// ("COM3"), devicePath where it led ("/dev/ttyS2"). Busy keeps the classic
// text; a missing device and a refused permission name the real cause, the
// latter with its remedy (membership of the device's group, then a new login).
// For a missing COMn device, a non-empty mapDir adds where its link goes. An
// empty name that led nowhere says that the name is missing.
std::string ProbeMessage(const ProbeResult& result, const std::string& portName, const std::string& devicePath,
                         const std::string& mapDir = {});

}  // namespace ostrel
