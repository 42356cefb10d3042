#include "core/DeviceHolders.h"

#include <sys/sysmacros.h>
#include <sys/types.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

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

// The number of the pseudo-terminal a device is (/dev/pts/N), or -1 for any other device.
long ptyIndexOf(const FileIdentity& id) {
  constexpr unsigned kFirstPtyMajor = 136, kLastPtyMajor = 143;
  const auto number = static_cast<dev_t>(id.number);
  if (!id.device || major(number) < kFirstPtyMajor || major(number) > kLastPtyMajor) return -1;
  return static_cast<long>((major(number) - kFirstPtyMajor) * 256 + minor(number));
}

// The pseudo-terminal whose controlling side (a descriptor of /dev/ptmx) the process holds as
// descriptor `fd`, from the kernel's "tty-index" line about it; -1 when it is none.
long ptyIndexHeldBy(const fs::path& process, const std::string& fd) {
  std::ifstream info(process / "fdinfo" / fd);
  for (std::string line; std::getline(info, line);) {
    if (line.rfind("tty-index:", 0) == 0) return std::strtol(line.c_str() + 10, nullptr, 10);
  }
  return -1;
}

// Indexes of the devices that the process has open. A program that holds the controlling side
// of a pseudo-terminal is that terminal's far end (a simulator, a device server), the line
// itself rather than another user of it: its descriptor of the terminal side does not count.
std::vector<std::size_t> openedBy(const fs::path& process, const std::vector<FileIdentity>& devices) {
  std::vector<std::size_t> found;
  std::set<long> farEndOf;
  std::error_code ec;
  for (fs::directory_iterator it(process / "fd", ec), end; !ec && it != end; it.increment(ec)) {
    // Sockets, pipes and the like read "socket:[...]": only paths can be devices.
    std::error_code linkError;
    const std::string opened = fs::read_symlink(it->path(), linkError).string();
    if (linkError || opened.empty() || opened[0] != '/') continue;
    if (fs::path(opened).filename() == "ptmx") {
      farEndOf.insert(ptyIndexHeldBy(process, it->path().filename().string()));
      continue;
    }
    const auto id = IdentifyFile(it->path().string());
    if (!id) continue;
    for (std::size_t i = 0; i < devices.size(); ++i)
      if (devices[i] == *id && (found.empty() || found.back() != i)) found.push_back(i);
  }
  std::erase_if(found, [&](std::size_t i) {
    const long pty = ptyIndexOf(devices[i]);
    return pty >= 0 && farEndOf.count(pty) > 0;
  });
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
