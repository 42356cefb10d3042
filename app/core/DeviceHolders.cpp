#include "app/core/DeviceHolders.h"

#include <filesystem>
#include <fstream>

namespace ostrel {
namespace fs = std::filesystem;
namespace {

int pidOf(const fs::path& folder) {
  const std::string name = folder.filename().string();
  if (name.empty() || name.size() > 9 || name.find_first_not_of("0123456789") != std::string::npos) return 0;
  return std::stoi(name);
}

std::string commandName(const fs::path& process) {
  std::ifstream in(process / "comm");
  std::string name;
  std::getline(in, name);
  return name.empty() ? "a program" : name;
}

// Indexes of the devices that the process has open.
std::vector<std::size_t> openedBy(const fs::path& process, const std::vector<FileIdentity>& devices) {
  std::vector<std::size_t> found;
  std::error_code ec;
  for (fs::directory_iterator it(process / "fd", ec), end; !ec && it != end; it.increment(ec)) {
    // Sockets, pipes and the like read "socket:[...]": only paths can be devices.
    std::error_code linkError;
    const std::string opened = fs::read_symlink(it->path(), linkError).string();
    if (linkError || opened.empty() || opened[0] != '/') continue;
    const auto id = IdentifyFile(it->path().string());
    if (!id) continue;
    for (std::size_t i = 0; i < devices.size(); ++i)
      if (devices[i] == *id) found.push_back(i);
  }
  return found;
}

}  // namespace

std::vector<std::vector<DeviceHolder>> FindDeviceHolders(const std::string& procFolder,
                                                         const std::vector<FileIdentity>& devices, int ownPid) {
  std::vector<std::vector<DeviceHolder>> holders(devices.size());
  if (devices.empty()) return holders;
  std::error_code ec;
  for (fs::directory_iterator it(procFolder, ec), end; !ec && it != end; it.increment(ec)) {
    const int pid = pidOf(it->path());
    if (pid == 0 || pid == ownPid) continue;
    const auto found = openedBy(it->path(), devices);
    if (found.empty()) continue;
    const DeviceHolder holder{pid, commandName(it->path())};
    for (std::size_t i : found)
      if (holders[i].empty() || holders[i].back().pid != pid) holders[i].push_back(holder);
  }
  return holders;
}

}  // namespace ostrel
