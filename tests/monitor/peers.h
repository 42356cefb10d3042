#pragma once
// The real things ostrel-monitor meets in its tests, each started on loopback or on
// pseudo-terminals of its own: Debian's mosquitto (plain, with a password file, or with TLS),
// mosquitto_sub reading back, the pymodbus slave behind socat, and the monitor itself.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace ostrel::monitor::testing {

// Debian installs the server in /usr/sbin, which is not on an ordinary user's PATH.
inline constexpr const char* kMosquitto = "/usr/sbin/mosquitto";

using Clock = std::chrono::steady_clock;

template <typename Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds time = std::chrono::seconds(15)) {
  const auto deadline = Clock::now() + time;
  while (Clock::now() < deadline) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return pred();
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path + ".tmp", std::ios::binary) << text;
  std::filesystem::rename(path + ".tmp", path);
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

// A child process with standard output and error in one file.
class Process {
 public:
  Process(std::vector<std::string> argv, const std::string& outFile) : out_(outFile) {
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    if (posix_spawnp(&pid_, args[0], &fa, nullptr, args.data(), environ) != 0)
      throw std::runtime_error("cannot start " + argv[0]);
    posix_spawn_file_actions_destroy(&fa);
  }
  ~Process() { stop(SIGKILL); }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  void signal(int sig) const { ::kill(pid_, sig); }
  pid_t pid() const { return pid_; }
  // Sends sig and waits for the end; the exit code, or -1 when it did not end within `time`.
  int stop(int sig, std::chrono::milliseconds time = std::chrono::seconds(5)) {
    if (pid_ <= 0) return code_;
    ::kill(pid_, sig);
    const auto deadline = Clock::now() + time;
    while (Clock::now() < deadline) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return code_;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
  }
  std::string output() const { return ReadFile(out_); }

 private:
  pid_t pid_ = -1;
  int code_ = -1;
  std::string out_;
};

inline std::string TempDir() {
  const char* tmp = std::getenv("TMPDIR");
  std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/ostrel_monitor_XXXXXX";
  if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp");
  return templ;
}

// A loopback TCP port nobody listens on now.
inline int FreePort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t n = sizeof a;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
  ::close(s);
  return ntohs(a.sin_port);
}

inline bool Accepts(int port) {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(s);
  return ok;
}

// mosquitto on a loopback port with the given configuration lines (the listener is added).
class Mosquitto {
 public:
  Mosquitto(std::string dir, std::vector<std::string> lines = {}) : dir_(std::move(dir)), lines_(std::move(lines)) {
    port = FreePort();
    start();
  }
  void start() {
    std::string conf = "listener " + std::to_string(port) + " 127.0.0.1\n";
    bool anonymous = false;
    for (const auto& l : lines_) {
      conf += l + "\n";
      anonymous = anonymous || l.rfind("allow_anonymous", 0) == 0;
    }
    if (!anonymous) conf += "allow_anonymous true\n";
    // Started by root, mosquitto would read its files and write its sessions as the user
    // mosquitto, who may not enter the test's private folder.
    if (::getuid() == 0) conf += "user root\n";
    WriteFile(dir_ + "/mosquitto.conf", conf);
    process_ = std::make_unique<Process>(std::vector<std::string>{kMosquitto, "-c", dir_ + "/mosquitto.conf"},
                                         dir_ + "/mosquitto.log");
    ready = WaitFor([&] { return Accepts(port); }, std::chrono::seconds(10));
  }
  // SIGTERM: it saves its sessions when it persists them.
  void stop() {
    if (process_) process_->stop(SIGTERM);
    process_.reset();
  }
  int port = 0;
  bool ready = false;

 private:
  std::string dir_;
  std::vector<std::string> lines_;
  std::unique_ptr<Process> process_;
};

// mosquitto_sub -v on the topics, every message a line "topic payload" in its file.
class Subscriber {
 public:
  Subscriber(const std::string& file, int port, const std::string& topic, std::vector<std::string> extra = {})
      : file_(file) {
    std::vector<std::string> argv{
        "mosquitto_sub", "-h", "127.0.0.1", "-p", std::to_string(port), "-v", "-q", "1", "-t", topic};
    argv.insert(argv.end(), extra.begin(), extra.end());
    process_ = std::make_unique<Process>(argv, file);
  }
  std::vector<std::string> messages(const std::string& topic) const {
    std::vector<std::string> out;
    for (const auto& l : Lines(ReadFile(file_))) {
      if (l.rfind(topic + " ", 0) == 0) out.push_back(l.substr(topic.size() + 1));
    }
    return out;
  }
  bool waitFor(const std::string& topic, const std::string& part, size_t count = 1) const {
    return WaitFor([&] {
      size_t n = 0;
      for (const auto& m : messages(topic)) n += m.find(part) != std::string::npos;
      return n >= count;
    });
  }
  void stop() { process_.reset(); }

 private:
  std::string file_;
  std::unique_ptr<Process> process_;
};

// What is retained on the broker under `topic` now: mosquitto_sub reads them and leaves.
inline std::string Retained(int port, const std::string& topic) {
  const std::string file = TempDir() + "/retained";
  Process p(
      {"mosquitto_sub", "-h", "127.0.0.1", "-p", std::to_string(port), "-v", "-t", topic, "--retained-only", "-W", "1"},
      file);
  p.stop(0, std::chrono::seconds(5));  // signal 0: only waits for its own end
  return ReadFile(file);
}

// The pymodbus slave behind socat: the monitor's side is DIR/COM2. Its input registers are
// set while it runs.
class Slave {
 public:
  Slave(std::string dir, std::vector<int> inputs, std::vector<std::string> extra = {})
      : dir_(std::move(dir)), extra_(std::move(extra)) {
    setInputsFile(inputs);
    ready = start();
  }
  bool start() {
    ::unlink((dir_ + "/COM2").c_str());
    ::unlink((dir_ + "/slave").c_str());
    bridge_ = std::make_unique<Process>(std::vector<std::string>{"socat", "pty,raw,echo=0,link=" + dir_ + "/COM2",
                                                                 "pty,raw,echo=0,link=" + dir_ + "/slave"},
                                        dir_ + "/socat.log");
    if (!WaitFor([&] { return exists("/COM2") && exists("/slave"); })) return false;
    std::vector<std::string> argv{"/usr/bin/python3", std::string(OSTREL_SOURCE_DIR) + "/tests/e2e/modbus_slave.py",
                                  "--port",           dir_ + "/slave",
                                  "--inputs-file",    dir_ + "/inputs.json",
                                  "--dump",           dir_ + "/holding.json"};
    argv.insert(argv.end(), extra_.begin(), extra_.end());
    argv.push_back("--inputs");
    argv.push_back(ReadFile(dir_ + "/inputs.json"));
    slave_ = std::make_unique<Process>(argv, dir_ + "/slave.log");
    return WaitFor([&] { return ReadFile(dir_ + "/slave.log").find("READY") != std::string::npos; });
  }
  // The adapter pulled: the slave and the pseudo-terminal behind COM2 are gone.
  void stop() {
    slave_.reset();
    bridge_.reset();
  }
  // The panel's state changes: new input registers from register 0.
  bool setInputs(const std::vector<int>& inputs) {
    setInputsFile(inputs);
    const size_t before = count("INPUTS");
    slave_->signal(SIGUSR2);
    return WaitFor([&] { return count("INPUTS") > before; });
  }
  std::string holding() const { return ReadFile(dir_ + "/holding.json"); }
  bool ready = false;

 private:
  bool exists(const std::string& name) const {
    struct stat st {};
    return ::stat((dir_ + name).c_str(), &st) == 0;
  }
  size_t count(const std::string& word) const {
    const std::string log = ReadFile(dir_ + "/slave.log");
    size_t n = 0;
    for (size_t at = 0; (at = log.find(word, at)) != std::string::npos; at += word.size()) ++n;
    return n;
  }
  void setInputsFile(const std::vector<int>& inputs) {
    std::string json = "[";
    for (size_t k = 0; k < inputs.size(); ++k) json += (k ? "," : "") + std::to_string(inputs[k]);
    WriteFile(dir_ + "/inputs.json", json + "]");
  }
  std::string dir_;
  std::vector<std::string> extra_;
  std::unique_ptr<Process> bridge_, slave_;
};

// ostrel-monitor on a configuration written by the test.
class Monitor {
 public:
  Monitor(const std::string& dir, const std::string& config) : file_(dir + "/monitor.conf") {
    WriteFile(file_, config);
    process = std::make_unique<Process>(std::vector<std::string>{OSTREL_MONITOR_BINARY, file_}, dir + "/monitor.log");
  }
  // Ended as systemd ends it: a killed monitor would leave the pseudo-terminal marked for
  // exclusive use while socat holds it.
  ~Monitor() { process->stop(SIGTERM); }
  std::string log() const { return process->output(); }
  bool logSays(const std::string& part, size_t count = 1) const {
    return WaitFor([&] {
      const std::string l = log();
      size_t n = 0;
      for (size_t at = 0; (at = l.find(part, at)) != std::string::npos; at += part.size()) ++n;
      return n >= count;
    });
  }
  std::unique_ptr<Process> process;

 private:
  std::string file_;
};

}  // namespace ostrel::monitor::testing
