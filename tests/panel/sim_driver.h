#pragma once
// Runs the simulated panel (tools/qvsim) on a pseudo-terminal and drives a
// PanelScan against it with a real 5 ms tick, as the window would.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "panel/PanelLinkView.h"
#include "panel/PanelScan.h"

extern char** environ;

namespace ostrel::panel::testing {

inline std::string sourceDir() {
  const char* d = std::getenv("OSTREL_SOURCE_DIR");
  return d ? d : ".";
}

// The simulator as a child process; its pty path is read from its stdout.
class Simulator {
 public:
  explicit Simulator(std::vector<std::string> options) {
    std::vector<std::string> argv{"python3", sourceDir() + "/tools/qvsim"};
    argv.insert(argv.end(), options.begin(), options.end());
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    if (posix_spawnp(&pid_, "python3", &fa, nullptr, args.data(), environ) != 0)
      throw std::runtime_error("cannot start python3");
    posix_spawn_file_actions_destroy(&fa);
    close(out[1]);
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n') path_ += c;
    close(out[0]);
    if (path_.empty()) throw std::runtime_error("simulator printed no device path");
  }
  ~Simulator() {
    kill(pid_, SIGTERM);
    int status;
    waitpid(pid_, &status, 0);
  }
  const std::string& path() const { return path_; }

 private:
  pid_t pid_ = -1;
  std::string path_;
};

// The window's part over a raw pty: writes, purges, the timer flag, and
// everything shown, recorded for the caller.
struct PtyView : PanelLinkView {
  int fd = -1;
  bool open = true;
  bool timer = false;
  uint64_t bytesWritten = 0, bytesRead = 0;
  std::vector<std::string> log;
  std::vector<std::vector<std::string>> loopRows, deviceRows;
  std::string labels[3];

  explicit PtyView(const std::string& path) {
    fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) throw std::runtime_error("cannot open " + path);
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
  }
  ~PtyView() override { ::close(fd); }

  void AddLogLine(const std::string& s) override { log.push_back(s); }
  bool PortOpen() override { return open; }
  void WritePort(const std::string& b) override {
    size_t done = 0;
    while (done < b.size()) {
      const ssize_t n = ::write(fd, b.data() + done, b.size() - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
      } else if (errno == EAGAIN) {
        pollfd p{fd, POLLOUT, 0};
        poll(&p, 1, 100);
      } else {
        throw std::runtime_error("write failed");
      }
    }
    bytesWritten += b.size();
  }
  void PurgePort() override { tcflush(fd, TCIOFLUSH); }
  void SetPanelLabel(PanelLabel w, const std::string& s) override { labels[static_cast<int>(w)] = s; }
  void AddLoopRow(const std::vector<std::string>& c) override { loopRows.push_back(c); }
  void AddDeviceRow(const std::vector<std::string>& c) override { deviceRows.push_back(c); }
  void StartTimer() override { timer = true; }
  void StopTimer() override { timer = false; }

  // Every byte waiting now, read in as many reads as it takes.
  std::string ReadAll() {
    std::string all;
    char buf[1024];
    for (;;) {
      const ssize_t n = ::read(fd, buf, sizeof buf);
      if (n <= 0) break;
      all.append(buf, static_cast<size_t>(n));
    }
    bytesRead += all.size();
    return all;
  }
};

// Runs a started scan until its timer stops: bytes are handed over as they
// arrive, and a tick fires every 5 ms on a fixed schedule. Returns the ticks.
inline long RunScan(PanelScan& scan, PtyView& view, std::chrono::seconds limit = std::chrono::seconds(600)) {
  using clock = std::chrono::steady_clock;
  const auto end = clock::now() + limit;
  auto next = clock::now() + std::chrono::milliseconds(5);
  long ticks = 0;
  while (scan.timerEnabled() && clock::now() < end) {
    const auto now = clock::now();
    if (now >= next) {
      scan.Tick();
      ++ticks;
      next += std::chrono::milliseconds(5);
      if (next < now) next = now + std::chrono::milliseconds(5);
      continue;
    }
    pollfd p{view.fd, POLLIN, 0};
    const int ms = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(next - now).count());
    if (poll(&p, 1, ms) > 0 && (p.revents & POLLIN)) {
      const std::string got = view.ReadAll();
      if (!got.empty()) scan.CollectReply(got);
    }
  }
  return ticks;
}

}  // namespace ostrel::panel::testing
