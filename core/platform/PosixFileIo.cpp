#include "core/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace ostrel {
namespace {

FileWriteResult failure(const char* step, int err) {
  FileWriteResult r;
  r.errorNumber = err;
  r.errorText = std::string(step) + ": " + std::strerror(err);
  return r;
}

std::string folderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// A name in the target's folder that no other writer uses at the same time.
std::string temporaryNameFor(const std::string& target) {
  static std::atomic<unsigned> counter{0};
  const auto slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  return folder + "." + base + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// The file a path names for writing: a symbolic link's target, not the link itself.
std::string writeTarget(const std::string& path) {
  struct stat linkInfo {};
  if (::lstat(path.c_str(), &linkInfo) == 0 && S_ISLNK(linkInfo.st_mode)) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) != nullptr) return resolved;
  }
  return path;
}

// A new temporary file beside target, open for writing; -1 with err on failure.
int createTemporaryBeside(const std::string& target, std::string& temp, int& err) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp = temporaryNameFor(target);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST) {
      err = errno;
      return -1;
    }
  }
  err = EEXIST;
  return -1;
}

// Makes a rename in target's folder durable; a failure here no longer loses data.
void syncFolderOf(const std::string& target) {
  const int dir = ::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    (void)::fsync(dir);
    ::close(dir);
  }
}

}  // namespace

FileWriteResult WriteFileAtomically(const std::string& path, std::string_view bytes) {
  if (path.empty()) return failure("open", ENOENT);
  const std::string target = writeTarget(path);
  struct stat old {};
  const bool replacing = ::stat(target.c_str(), &old) == 0;
  if (replacing && !S_ISREG(old.st_mode)) return failure("open", S_ISDIR(old.st_mode) ? EISDIR : EINVAL);

  std::string temp;
  int err = 0;
  const int fd = createTemporaryBeside(target, temp, err);
  if (fd < 0) return failure("open", err);
  auto abandon = [&](const char* step, int e) {
    ::unlink(temp.c_str());
    return failure(step, e);
  };
  if (replacing) {
    // Best effort: the new file keeps the old one's mode and owner.
    [[maybe_unused]] int r = ::fchmod(fd, old.st_mode & 07777);
    r = ::fchown(fd, old.st_uid, old.st_gid);
  }
  const char* failedStep = !writeAll(fd, bytes) ? "write" : ::fsync(fd) != 0 ? "fsync" : nullptr;
  if (failedStep) {
    const int e = errno;
    ::close(fd);
    return abandon(failedStep, e);
  }
  if (::close(fd) != 0) return abandon("close", errno);
  if (::rename(temp.c_str(), target.c_str()) != 0) return abandon("rename", errno);
  syncFolderOf(target);
  FileWriteResult ok;
  ok.ok = true;
  return ok;
}

std::optional<BoundedRead> ReadRegularFile(const std::string& path, std::size_t maxBytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  BoundedRead result;
  // One byte past the bound tells whether the file goes on.
  const std::size_t want = maxBytes == SIZE_MAX ? maxBytes : maxBytes + 1;
  char buffer[65536];
  while (result.bytes.size() < want) {
    const std::size_t room = std::min(sizeof buffer, want - result.bytes.size());
    const ssize_t n = ::read(fd, buffer, room);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    result.bytes.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (result.bytes.size() > maxBytes) {
    result.bytes.resize(maxBytes);
    result.complete = false;
  }
  return result;
}

}  // namespace ostrel
