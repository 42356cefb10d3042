#include "core/DeviceMap.h"

#include "serial/NetworkAddress.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace ostrel {
namespace {

std::string homeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}

}  // namespace

std::string DefaultDeviceMapDir() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') return std::string(xdg) + "/ostrel/ports";
  return homeFolder() + "/.config/ostrel/ports";
}

std::string OnBoardDevice(int n) { return "/dev/ttyS" + std::to_string(n - 1); }

std::string DeviceMapDir(const char* mapDirOverride) {
  return mapDirOverride && *mapDirOverride ? std::string(mapDirOverride) : DefaultDeviceMapDir();
}

std::string ResolveDeviceName(const std::string& name, const char* mapDirOverride) {
  static const std::string kPrefix = "\\\\.\\";
  std::string bare = name.compare(0, kPrefix.size(), kPrefix) == 0 ? name.substr(kPrefix.size()) : name;
  if (!bare.empty() && bare[0] == '/') return bare;
  const int n = ComNumber(bare);
  if (n == 0) return bare;

  const std::string folder = DeviceMapDir(mapDirOverride);
  const std::string entry = folder + "/COM" + std::to_string(n);
  struct stat info {};
  if (::lstat(entry.c_str(), &info) != 0) return OnBoardDevice(n);
  if (!S_ISLNK(info.st_mode)) return entry;
  std::vector<char> target(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 255) + 1);
  const ssize_t len = ::readlink(entry.c_str(), target.data(), target.size());
  if (len <= 0 || static_cast<std::size_t>(len) >= target.size())
    return entry;  // changed meanwhile: let open follow it
  std::string path(target.data(), static_cast<std::size_t>(len));
  // A link may name a port across the network ("rfc2217://host:port") in place of a device.
  return path[0] == '/' || serial::IsNetworkUrl(path) ? path : folder + "/" + path;
}

}  // namespace ostrel
