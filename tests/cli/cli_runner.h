#pragma once
// Runs the ostrel-cli binary as a person's shell would, with its output
// collected, and starts the peers it talks to: the simulated panel (with
// links COM1/COM2 in a device map folder) and the pymodbus slave.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace ostrel::cli::testing {

using Clock = std::chrono::steady_clock;

struct Result {
  int code = -1;  // exit code, or 128 + signal
  std::string out, err;
};

inline std::vector<char*> argvOf(std::vector<std::string>& words) {
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  return argv;
}

inline int exitCodeOf(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

// A running ostrel-cli whose standard output goes to a file, so a test can
// watch its records arrive and interrupt it.
class Background {
 public:
  // Runs ostrel-cli with args, or with cli false the program args[0] names (found on PATH).
  Background(std::vector<std::string> args, const std::string& outFile, bool cli = true) {
    if (cli) args.insert(args.begin(), OSTREL_CLI_BINARY);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    errFile_ = outFile + ".err";
    posix_spawn_file_actions_addopen(&fa, 2, errFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    auto argv = argvOf(args);
    if (posix_spawnp(&pid_, argv[0], &fa, nullptr, argv.data(), environ) != 0)
      throw std::runtime_error("cannot start " + args[0]);
    posix_spawn_file_actions_destroy(&fa);
  }
  ~Background() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  void signal(int sig) { kill(pid_, sig); }
  pid_t pid() const { return pid_; }
  // The exit code, or -1 when it has not ended within the time.
  int wait(std::chrono::milliseconds time) {
    const auto deadline = Clock::now() + time;
    while (Clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return exitCodeOf(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }
  std::string err() const {
    std::ifstream f(errFile_);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }

 private:
  pid_t pid_ = -1;
  std::string errFile_;
};

// Runs a program (found on PATH) to its end (killed after 60 s) and returns what it wrote.
inline Result RunProgram(std::vector<std::string> args) {
  int out[2], err[2];
  if (pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe");
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  posix_spawn_file_actions_adddup2(&fa, err[1], 2);
  posix_spawn_file_actions_addclose(&fa, out[0]);
  posix_spawn_file_actions_addclose(&fa, err[0]);
  pid_t pid = -1;
  auto argv = argvOf(args);
  if (posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ) != 0)
    throw std::runtime_error("cannot start " + args[0]);
  posix_spawn_file_actions_destroy(&fa);
  ::close(out[1]);
  ::close(err[1]);
  Result r;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&r.out, &r.err};
  int open = 2;
  const auto deadline = Clock::now() + std::chrono::seconds(60);
  while (open > 0 && Clock::now() < deadline) {
    if (poll(fds, 2, 100) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
      char buf[4096];
      const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        sinks[i]->append(buf, static_cast<size_t>(n));
      } else {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  if (open > 0) kill(pid, SIGKILL);
  for (auto& f : fds) {
    if (f.fd >= 0) ::close(f.fd);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  r.code = exitCodeOf(status);
  return r;
}

// Runs ostrel-cli to its end (killed after 60 s) and returns what it wrote.
inline Result RunCli(std::vector<std::string> args) {
  args.insert(args.begin(), OSTREL_CLI_BINARY);
  return RunProgram(std::move(args));
}

// Runs ostrel-cli with its standard error on a terminal (a pseudo-terminal
// read here, `columns` wide when given) and its standard output on /dev/null;
// returns what the terminal showed.
inline Result RunCliOnTerminal(std::vector<std::string> args, unsigned short columns = 0) {
  args.insert(args.begin(), OSTREL_CLI_BINARY);
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) throw std::runtime_error("pty");
  if (columns > 0) {
    winsize size{};
    size.ws_col = columns;
    size.ws_row = 24;
    ioctl(master, TIOCSWINSZ, &size);
  }
  const std::string terminal = ptsname(master);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 2, terminal.c_str(), O_RDWR | O_NOCTTY, 0);
  pid_t pid = -1;
  auto argv = argvOf(args);
  if (posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ) != 0)
    throw std::runtime_error("cannot start ostrel-cli");
  posix_spawn_file_actions_destroy(&fa);
  Result r;
  int status = 0;
  const auto deadline = Clock::now() + std::chrono::seconds(60);
  for (bool ended = false; !ended && Clock::now() < deadline;) {
    ended = waitpid(pid, &status, WNOHANG) == pid;
    pollfd p{master, POLLIN, 0};
    while (poll(&p, 1, ended ? 0 : 20) > 0) {
      char buf[4096];
      const ssize_t n = ::read(master, buf, sizeof buf);
      if (n <= 0) break;
      r.err.append(buf, static_cast<size_t>(n));
    }
  }
  ::close(master);
  r.code = exitCodeOf(status);
  return r;
}

// A child process whose first stdout lines are read as it prints them.
class Peer {
 public:
  explicit Peer(std::vector<std::string> argv) {
    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    auto args = argvOf(argv);
    if (posix_spawnp(&pid_, args[0], &fa, nullptr, args.data(), environ) != 0)
      throw std::runtime_error("cannot start " + argv[0]);
    posix_spawn_file_actions_destroy(&fa);
    ::close(out[1]);
    out_ = out[0];
  }
  ~Peer() {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    if (out_ >= 0) ::close(out_);
  }
  // The next line it prints, or empty after 20 s.
  std::string line() {
    std::string text;
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < deadline) {
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      char c;
      if (::read(out_, &c, 1) != 1) break;
      if (c == '\n') return text;
      text += c;
    }
    return text;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

inline std::vector<std::string> Lines(const std::string& text, const std::string& end = "\n") {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t at; (at = text.find(end, start)) != std::string::npos; start = at + end.size())
    lines.push_back(text.substr(start, at - start));
  return lines;
}

// Polls until pred() holds or the time is up.
template <class Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds time) {
  const auto deadline = Clock::now() + time;
  while (!pred()) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace ostrel::cli::testing
