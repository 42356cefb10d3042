#pragma once
// The device map folder as a list, and the changes made to it: giving a COM
// name to a device, and taking one away (see DeviceMap.h for how the
// connect reads the folder).
//
// Only symbolic links are ever written or removed. Anything else the user
// keeps in the folder (a regular file named COM5, a folder) is reported and
// left alone, and a change that cannot be made leaves the folder as it was.
#include <string>
#include <vector>

namespace ostrel {

struct MapEntry {
  enum class Kind { Link, File, Folder };
  std::string name;  // "COM3" as it stands in the folder
  int number = 0;    // 3
  Kind kind = Kind::Link;
  std::string target;    // a link's target as written
  std::string resolved;  // the target, a relative one taken from the folder
  bool targetExists = false;
  // Empty for a usable entry; otherwise why it does not lead to a device
  // ("the target is missing (adapter unplugged?)", "a regular file, not a link").
  std::string problem;
};

struct DeviceMapListing {
  std::string folder;
  bool exists = false;            // false: no entry yet, the folder is made with the first one
  std::string problem;            // the folder cannot be used (a file stands there, unreadable)
  std::vector<MapEntry> entries;  // COM names in number order

  const MapEntry* find(int number) const;
};

DeviceMapListing ReadDeviceMap(const std::string& folder);

struct MapChange {
  bool ok = false;
  std::string message;  // what was done, or why nothing was
};

// The canonical "COMn" for a name the user typed ("com3" -> "COM3"), or
// empty when it is not one of COM1 .. COM256.
std::string CanonicalComName(const std::string& typed);
std::string ComNameRangeText(const std::string& typed);  // the refusal for such a name

// Makes `name` a link to `target`, replacing a link of that name (written
// beside it and renamed over it, so the entry is never missing). Makes the
// folder when it does not exist. Refused for a bad name, a folder that is a
// file, and an entry that is not a link.
MapChange SetComName(const std::string& folder, const std::string& name, const std::string& target);

// Removes the link `name`. Refused for an entry that is not a link.
MapChange RemoveComName(const std::string& folder, const std::string& name);

}  // namespace ostrel
