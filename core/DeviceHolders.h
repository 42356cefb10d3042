#pragma once
// Which other programs hold a device open, read from the process folder
// (/proc). Only processes whose descriptors this user may read are seen: all
// of them for root, one's own otherwise.
#include <string>
#include <vector>

#include "core/FileIdentity.h"

namespace ostrel {

struct DeviceHolder {
  int pid = 0;
  std::string program;  // the process's command name ("minicom")
  std::string describe() const { return program + " (pid " + std::to_string(pid) + ")"; }
};

// For each identity, the processes except `ownPid` that have it open.
std::vector<std::vector<DeviceHolder>> FindDeviceHolders(const std::string& procFolder,
                                                         const std::vector<FileIdentity>& devices, int ownPid);

}  // namespace ostrel
