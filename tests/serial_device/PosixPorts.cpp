// Linked ports on Linux: two pseudo-terminals whose master ends a thread joins, so what is
// written to one slave is read from the other, as over a null-modem cable.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>

#include "TestPorts.h"

namespace ostrel::serial::test {

namespace {

class PtyBridge {
 public:
  PtyBridge() {
    for (End& e : ends_)
      if (!open(e)) return;
    if (pipe2(stop_, O_CLOEXEC) != 0) {
      ports.failure = std::string("pipe: ") + std::strerror(errno);
      return;
    }
    ports.a = ends_[0].path;
    ports.b = ends_[1].path;
    thread_ = std::thread([this] { run(); });
  }
  ~PtyBridge() {
    if (thread_.joinable()) {
      [[maybe_unused]] ssize_t r = ::write(stop_[1], "x", 1);
      thread_.join();
    }
    for (int fd : {stop_[0], stop_[1], ends_[0].master, ends_[0].slave, ends_[1].master, ends_[1].slave})
      if (fd >= 0) ::close(fd);
  }
  PtyBridge(const PtyBridge&) = delete;
  PtyBridge& operator=(const PtyBridge&) = delete;

  TestPorts ports;

 private:
  struct End {
    int master = -1;
    int slave = -1;  // held open, so the far side never sees a hang-up between tests
    std::string path;
    std::string toOther;  // read from this master, not yet written to the other one
  };

  bool open(End& e) {
    e.master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (e.master < 0 || grantpt(e.master) != 0 || unlockpt(e.master) != 0) return fail("posix_openpt");
    e.path = ptsname(e.master);
    e.slave = ::open(e.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (e.slave < 0) return fail(e.path);
    termios t{};
    if (tcgetattr(e.slave, &t) != 0) return fail("tcgetattr");
    cfmakeraw(&t);
    if (tcsetattr(e.slave, TCSANOW, &t) != 0) return fail("tcsetattr");
    return true;
  }
  bool fail(const std::string& what) {
    ports.failure = what + ": " + std::strerror(errno);
    return false;
  }

  // Moves bytes both ways; a side whose bytes the other cannot take yet stops being read, so a
  // writer feels the far end's back-pressure as over a real line.
  void run() {
    for (;;) {
      pollfd p[3] = {};
      for (int i = 0; i < 2; ++i) {
        p[i].fd = ends_[i].master;
        if (ends_[i].toOther.empty()) p[i].events |= POLLIN;
        if (!ends_[1 - i].toOther.empty()) p[i].events |= POLLOUT;
      }
      p[2] = {stop_[0], POLLIN, 0};
      if (poll(p, 3, -1) < 0 && errno != EINTR) return;
      if (p[2].revents) return;
      for (int i = 0; i < 2; ++i) {
        if (p[i].revents & POLLIN) take(ends_[i]);
        if (p[i].revents & POLLOUT) give(ends_[1 - i], ends_[i].master);
      }
    }
  }
  static void take(End& from) {
    char buf[4096];
    ssize_t r = ::read(from.master, buf, sizeof buf);
    if (r > 0) from.toOther.append(buf, static_cast<size_t>(r));
  }
  static void give(End& from, int toMaster) {
    ssize_t r = ::write(toMaster, from.toOther.data(), from.toOther.size());
    if (r > 0) from.toOther.erase(0, static_cast<size_t>(r));
  }

  End ends_[2];
  int stop_[2] = {-1, -1};
  std::thread thread_;
};

}  // namespace

const TestPorts& LinkedPorts() {
  static const TestPorts given = PortsFromEnvironment();
  if (!given.a.empty()) return given;
  static PtyBridge bridge;
  return bridge.ports;
}

std::string MissingPortName() { return "/dev/ostrel-no-such-port"; }

std::string SecondOpenUncheckable() { return ""; }

}  // namespace ostrel::serial::test
