#include "app/core/DeviceMap.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace ostrel {
int ComNumber(const std::string& name) {
  if (name.size() < 4 || name.size() > 6) return 0;
  for (int i = 0; i < 3; ++i) {
    const char c = static_cast<char>(name[i] | 0x20);
    if (c != "com"[i]) return 0;
  }
  if (name[3] == '0') return 0;
  int n = 0;
  for (std::size_t i = 3; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return 0;
    n = n * 10 + (name[i] - '0');
  }
  return n >= 1 && n <= kLastComNumber ? n : 0;
}

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
  return path[0] == '/' ? path : folder + "/" + path;
}

}  // namespace ostrel
