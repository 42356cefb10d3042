#include "core/DeviceMapFolder.h"

#include "serial/NetworkAddress.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "core/DeviceMap.h"

namespace ostrel {
namespace fs = std::filesystem;
namespace {

MapChange refused(std::string message) { return {false, std::move(message)}; }

std::string trimmed(const std::string& s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

std::string folderIsNotAFolder(const std::string& folder) {
  return "The device map folder " + folder +
         " is a file, not a folder, so no COM name can be kept there. "
         "Move that file away.";
}

std::string entryProblem(MapEntry::Kind kind) {
  switch (kind) {
    case MapEntry::Kind::File: return "a file, not a link: the connect opens this file itself";
    case MapEntry::Kind::Folder: return "a folder, not a link: the connect cannot open it";
    case MapEntry::Kind::Link: break;
  }
  return "its target is missing (adapter unplugged?)";
}

MapEntry readEntry(const fs::path& folder, const fs::directory_entry& e, int number) {
  MapEntry m;
  m.name = e.path().filename().string();
  m.number = number;
  std::error_code ec;
  const fs::file_status st = e.symlink_status(ec);
  if (fs::is_symlink(st)) {
    const fs::path target = fs::read_symlink(e.path(), ec);
    m.target = target.string();
    // A port across the network is tried by connecting: a URL is taken as it stands.
    const bool network = serial::IsNetworkUrl(m.target);
    m.resolved = network ? m.target : (target.is_absolute() ? target : folder / target).string();
    m.targetExists = network || fs::exists(e.path(), ec);
    if (!m.targetExists) m.problem = entryProblem(MapEntry::Kind::Link);
  } else {
    m.kind = fs::is_directory(st) ? MapEntry::Kind::Folder : MapEntry::Kind::File;
    m.resolved = e.path().string();
    m.targetExists = true;
    if (fs::is_directory(st) || fs::is_regular_file(st)) m.problem = entryProblem(m.kind);
  }
  if (m.name != "COM" + std::to_string(number))
    m.problem = "not used: the connect looks for the name COM" + std::to_string(number);
  return m;
}

// The entry `name` may be replaced or removed: it is missing or a link.
std::string checkReplaceable(const std::string& folder, const std::string& name) {
  std::error_code ec;
  const fs::file_status st = fs::symlink_status(fs::path(folder) / name, ec);
  if (!fs::exists(st) || fs::is_symlink(st)) return {};
  const char* what = fs::is_directory(st) ? "a folder" : "a file";
  return folder + "/" + name + " is " + what + ", not a link, and Ostrel leaves it alone. Remove or rename it " +
         "yourself to give " + name + " to a device.";
}

}  // namespace

const MapEntry* DeviceMapListing::find(int number) const {
  for (const MapEntry& e : entries)
    if (e.number == number) return &e;
  return nullptr;
}

DeviceMapListing ReadDeviceMap(const std::string& folder) {
  DeviceMapListing listing;
  listing.folder = folder;
  std::error_code ec;
  const fs::file_status st = fs::status(folder, ec);
  if (!fs::exists(st)) return listing;
  listing.exists = true;
  if (!fs::is_directory(st)) {
    listing.problem = folderIsNotAFolder(folder);
    return listing;
  }
  fs::directory_iterator it(folder, ec);
  if (ec) listing.problem = "The device map folder " + folder + " cannot be read: " + ec.message() + ".";
  for (fs::directory_iterator end; !ec && it != end; it.increment(ec))
    if (const int n = ComNumber(it->path().filename().string()); n != 0)
      listing.entries.push_back(readEntry(folder, *it, n));
  std::sort(listing.entries.begin(), listing.entries.end(), [](const MapEntry& a, const MapEntry& b) {
    return a.number < b.number || (a.number == b.number && a.name < b.name);
  });
  return listing;
}

std::string CanonicalComName(const std::string& typed) {
  const int n = ComNumber(trimmed(typed));
  return n == 0 ? std::string() : "COM" + std::to_string(n);
}

std::string ComNameRangeText(const std::string& typed) {
  if (trimmed(typed).empty()) return "Choose a COM name (COM1 to COM" + std::to_string(kLastComNumber) + ").";
  return "\"" + typed + "\" is not a COM name: use COM1 to COM" + std::to_string(kLastComNumber) + ".";
}

MapChange SetComName(const std::string& folder, const std::string& typed, const std::string& target) {
  const std::string name = CanonicalComName(typed);
  if (name.empty()) return refused(ComNameRangeText(typed));
  std::error_code ec;
  const fs::file_status st = fs::status(folder, ec);
  if (fs::exists(st) && !fs::is_directory(st)) return refused(folderIsNotAFolder(folder));
  if (std::string why = checkReplaceable(folder, name); !why.empty()) return refused(why);
  if (!fs::exists(st) && (fs::create_directories(folder, ec), ec))
    return refused("Cannot make the device map folder " + folder + ": " + ec.message() + ". Nothing was changed.");

  // Written beside the entry and renamed over it: the entry is never missing.
  const fs::path entry = fs::path(folder) / name;
  const fs::path fresh = fs::path(folder) / ("." + name + ".new-" + std::to_string(::getpid()));
  fs::remove(fresh, ec);
  fs::create_symlink(target, fresh, ec);
  if (!ec) fs::rename(fresh, entry, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(fresh, ignored);
    return refused("Cannot write " + entry.string() + ": " + ec.message() + ". Nothing was changed.");
  }
  return {true, name + " now leads to " + target + "."};
}

MapChange RemoveComName(const std::string& folder, const std::string& typed) {
  const std::string name = CanonicalComName(typed);
  if (name.empty()) return refused(ComNameRangeText(typed));
  const fs::path entry = fs::path(folder) / name;
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(entry, ec))) return refused(name + " is not in the device map " + folder + ".");
  if (std::string why = checkReplaceable(folder, name); !why.empty()) return refused(why);
  const std::string target = fs::read_symlink(entry, ec).string();
  if (!fs::remove(entry, ec) || ec)
    return refused("Cannot remove " + entry.string() + ": " + (ec ? ec.message() : "it is gone") +
                   ". Nothing was changed.");
  return {true, name + " removed (it led to " + target + ")."};
}

}  // namespace ostrel
