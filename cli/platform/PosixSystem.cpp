#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "cli/Interrupt.h"
#include "cli/System.h"

namespace ostrel::cli {

namespace {
void onSignal(int) { RaiseInterrupt(); }
}  // namespace

void PrepareConsole() {}

void InstallInterruptHandlers() {
  struct sigaction sa {};
  sa.sa_handler = onSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;  // no restart: a blocking call returns and the flag is seen
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

bool IsTerminal(int fd) { return ::isatty(fd) == 1; }

int TerminalColumns(int fd) {
  winsize size{};
  return ::ioctl(fd, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

int OpenUnlessAFile(const std::string& path) {
  struct stat st {};
  errno = 0;
  if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) {
    if (errno == ENOENT) errno = 0;
    return -1;
  }
  return ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
}

std::string FileBehind(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return path;  // a link to nothing yet: the link is replaced
  std::string target = resolved;
  std::free(resolved);
  return target;
}

int CreateFileBeside(const std::string& path, std::string& created) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    created = folder + "." + name + "." + std::to_string(::getpid()) + "." + std::to_string(attempt) + ".part";
    // Permissions as a file made by the shell's redirection gets them: 0666 less the umask.
    const int fd = ::open(created.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd >= 0) {
      struct stat old {};
      if (::stat(path.c_str(), &old) == 0) (void)::fchmod(fd, old.st_mode & 07777);
      return fd;
    }
    if (errno != EEXIST) return fd;
  }
  return -1;
}

int OpenForAppending(const std::string& path, bool& empty) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0666);
  struct stat st {};
  empty = fd >= 0 && ::fstat(fd, &st) == 0 && st.st_size == 0;
  return fd;
}

bool MoveIntoPlace(const std::string& from, const std::string& to) { return ::rename(from.c_str(), to.c_str()) == 0; }

void RemoveFile(const std::string& path) { ::unlink(path.c_str()); }

}  // namespace ostrel::cli
