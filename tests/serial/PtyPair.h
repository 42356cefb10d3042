#pragma once
// A pseudo-terminal pair: the port opens the slave path, the test talks through the master.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace ostrel::serial::test {

struct PtyPair {
  int master = -1;
  std::string slave;
  PtyPair() {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
    slave = ptsname(master);
  }
  ~PtyPair() { closeMaster(); }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;
  bool ok() const { return master >= 0 && !slave.empty(); }
  void closeMaster() {
    if (master >= 0) ::close(master);
    master = -1;
  }
  bool send(const std::string& s) const {
    size_t off = 0;
    while (off < s.size()) {
      ssize_t r = ::write(master, s.data() + off, s.size() - off);
      if (r < 0) {
        if (errno != EAGAIN && errno != EINTR) return false;
        pollfd p{master, POLLOUT, 0};
        poll(&p, 1, 100);
        continue;
      }
      off += static_cast<size_t>(r);
    }
    return true;
  }
  // Reads until n bytes arrived or the time is up.
  std::string receive(size_t n, int timeoutMs = 2000) const {
    std::string out;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < n && std::chrono::steady_clock::now() < deadline) {
      pollfd p{master, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      char buf[4096];
      ssize_t r = ::read(master, buf, sizeof buf);
      if (r > 0) out.append(buf, static_cast<size_t>(r));
    }
    return out;
  }
};

}  // namespace ostrel::serial::test
