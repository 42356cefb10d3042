#pragma once
// Whether two paths lead to the same device or file, whatever links and
// folders lie between (a COM link, a by-id link, the node itself).
#include <optional>
#include <string>

namespace ostrel {

// A device is known by its device number and the file system of its node:
// pseudo-terminals of separate devpts instances (containers) share numbers.
struct FileIdentity {
  bool device = false;                // a character or block device
  unsigned long long number = 0;      // st_rdev for a device, st_ino otherwise
  unsigned long long filesystem = 0;  // st_dev
  bool operator==(const FileIdentity&) const = default;
};

// The identity of what `path` leads to (links followed), or nothing when it
// leads nowhere.
std::optional<FileIdentity> IdentifyFile(const std::string& path);

}  // namespace ostrel
