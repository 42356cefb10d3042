#pragma once
// Peers of the end-to-end tests: a Python helper of the repository (run by Debian's
// /usr/bin/python3, which has pymodbus) and the port operations over a raw fd.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "modbus/link.h"

namespace ostrel::modbus::testing {

class PythonHelper {
 public:
  PythonHelper() = default;
  PythonHelper(const PythonHelper&) = delete;
  PythonHelper& operator=(const PythonHelper&) = delete;
  ~PythonHelper() { Stop(); }

  // script: relative to OSTREL_SOURCE_DIR. False when it could not start or never
  // printed `until` within the deadline; Output() then tells what it printed.
  bool Start(const std::string& script, const std::vector<std::string>& args, const std::string& until) {
    const char* src = std::getenv("OSTREL_SOURCE_DIR");
    if (!src) return false;
    const std::string path = std::string(src) + "/" + script;
    int out[2];
    if (pipe(out) != 0) return false;
    pid_ = fork();
    if (pid_ < 0) return false;
    if (pid_ == 0) {
      dup2(out[1], 1);
      ::close(out[0]);
      // The full path as argv[0] too: Python finds its own installation from argv[0], and a bare
      // "python3" is looked up on PATH, where a virtual environment's python (without
      // pymodbus) may come first.
      static const char kPython[] = "/usr/bin/python3";
      std::vector<char*> argv{const_cast<char*>(kPython), const_cast<char*>(path.c_str())};
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(kPython, argv.data());
      _exit(127);
    }
    ::close(out[1]);
    // The read end stays open until the helper is stopped, so its prints never meet a closed pipe.
    out_ = out[0];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      char buf[256];
      const ssize_t n = ::read(out_, buf, sizeof buf);
      if (n <= 0) return false;
      output_.append(buf, n);
      if (output_.find(until) != std::string::npos) return true;
    }
    return false;
  }

  void Stop() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
    if (out_ >= 0) ::close(out_);
    out_ = -1;
  }

  const std::string& Output() const { return output_; }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string output_;
};

// The port operations over one end of a pseudo-terminal. The fd is read when used,
// so a fixture may open it after constructing the link.
class FdLink : public ModbusLink {
 public:
  explicit FdLink(const int& fd) : fd_(fd) {}
  void PurgeAll() override { tcflush(fd_, TCIOFLUSH); }
  void SetRts(bool) override {}  // a pseudo-terminal has no modem lines
  bool WriteByte(uint8_t b) override { return ::write(fd_, &b, 1) == 1; }
  void WaitUntilSent() override { tcdrain(fd_); }
  int OutputSpace() override { return 4096; }
  void SleepMs(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

 private:
  const int& fd_;
};

// Reads from fd until `expected` bytes came or 5 s passed.
inline std::string ReadReply(int fd, size_t expected) {
  std::string got;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (got.size() < expected && std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    char buf[1024];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) got.append(buf, n);
  }
  return got;
}

inline void MakeRaw(int fd) {
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);
}

}  // namespace ostrel::modbus::testing
