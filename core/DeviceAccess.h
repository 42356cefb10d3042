#pragma once
// Whether this user may open a device for reading and writing, and, when
// not, why in words and what fixes it.
#include <sys/types.h>

#include <string>
#include <vector>

namespace ostrel {

struct Credentials {
  uid_t uid = 0;                     // effective user
  std::vector<gid_t> sessionGroups;  // the groups this process runs with
  std::vector<gid_t> accountGroups;  // the user's groups in the group database now
  // This process's user; its account groups are read from the group database,
  // so a group joined after login shows as "log in again".
  static Credentials Current();
};

struct DeviceAccess {
  bool mayOpen = false;
  std::string group;   // the device's group ("dialout")
  std::string advice;  // empty when it may be opened
};

// From the device's owner, group and permission bits (links followed).
DeviceAccess CheckDeviceAccess(const std::string& path, const Credentials& who);

}  // namespace ostrel
