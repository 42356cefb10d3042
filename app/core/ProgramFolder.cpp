#include "app/core/ProgramFolder.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace ostrel {
namespace {

std::string executablePath() {
  std::vector<char> buffer(4096);
  const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return {};
  return std::string(buffer.data(), static_cast<std::size_t>(n));
}

bool makeFolder(const std::string& path) { return ::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST; }

// mkdir -p for an absolute path.
void makeFolders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
    makeFolder(path.substr(0, slash));
  makeFolder(path);
}

}  // namespace

std::string ExecutableFolder() {
  const std::string exe = executablePath();
  const auto slash = exe.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? "/" : exe.substr(0, slash);
}

std::string ExecutableName() {
  const std::string exe = executablePath();
  return exe.substr(exe.rfind('/') + 1);
}

std::string PerUserFolder() {
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') return std::string(xdg) + "/ostrel";
  std::string home;
  if (const char* h = std::getenv("HOME"); h && *h)
    home = h;
  else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
    home = pw->pw_dir;
  else
    home = "/tmp";
  return home + "/.local/share/ostrel";
}

ProgramFolderChoice ChooseProgramFolder(const std::string& executableFolder) {
  if (!executableFolder.empty() && ::faccessat(AT_FDCWD, executableFolder.c_str(), W_OK | X_OK, AT_EACCESS) == 0)
    return {executableFolder, false};
  ProgramFolderChoice choice{PerUserFolder(), true};
  makeFolders(choice.folder + "/files");
  return choice;
}

std::string LogFilePath(const std::string& programFolder) { return programFolder + "/files/log.txt"; }

}  // namespace ostrel
