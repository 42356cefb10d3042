#pragma once
// The peers of the command-line tests, each on pseudo-terminals named in a
// device map folder of its own: the simulated panel as COM1 and a pymodbus
// slave as COM2 (joined to the slave's own pty by socat).
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>

#include "cli_runner.h"

namespace ostrel::cli::testing {

inline bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// A fresh folder under $TMPDIR (or /tmp), used as the device map.
inline std::string NewMapDir() {
  const char* tmp = std::getenv("TMPDIR");
  std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/ostrel_cli_XXXXXX";
  if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp");
  setenv("OSTREL_DEVICE_DIR", templ.c_str(), 1);
  return templ;
}

class PanelPeer {
 public:
  explicit PanelPeer(std::vector<std::string> options) : dir(NewMapDir()) {
    std::vector<std::string> argv{"python3", std::string(OSTREL_SOURCE_DIR) + "/tools/qvsim", "--link-dir", dir};
    argv.insert(argv.end(), options.begin(), options.end());
    sim_ = std::make_unique<Peer>(argv);
    path = sim_->line();
    ready = !path.empty() && WaitFor([&] { return Exists(dir + "/COM1"); }, std::chrono::seconds(10));
  }
  ~PanelPeer() {
    sim_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
  std::string dir, path;
  bool ready = false;

 private:
  std::unique_ptr<Peer> sim_;
};

class SlavePeer {
 public:
  // slaveOptions go to modbus_slave.py, e.g. {"--holding", "100:100"}.
  explicit SlavePeer(std::vector<std::string> slaveOptions = {})
      : dir(NewMapDir()), dump(dir + "/holding.json"), options_(std::move(slaveOptions)) {
    ready = Start();
  }
  ~SlavePeer() {
    Stop();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }

  // The adapter pulled: the slave, socat and with it the pseudo-terminal behind
  // COM2 are gone (the link stays, pointing nowhere).
  void Stop() {
    slave_.reset();
    bridge_.reset();
  }

  // The adapter plugged in again: socat makes a new pseudo-terminal for COM2
  // and the slave serves on its other side. True once the slave is ready.
  bool Start() {
    ::unlink((dir + "/COM2").c_str());
    ::unlink((dir + "/slave").c_str());
    bridge_ = std::make_unique<Peer>(std::vector<std::string>{"socat", "pty,raw,echo=0,link=" + dir + "/COM2",
                                                              "pty,raw,echo=0,link=" + dir + "/slave"});
    if (!WaitFor([&] { return Exists(dir + "/COM2") && Exists(dir + "/slave"); }, std::chrono::seconds(10)))
      return false;
    std::vector<std::string> argv{"/usr/bin/python3", std::string(OSTREL_SOURCE_DIR) + "/tests/e2e/modbus_slave.py",
                                  "--port",           dir + "/slave",
                                  "--input-count",    "200",
                                  "--dump",           dump};
    argv.insert(argv.end(), options_.begin(), options_.end());
    slave_ = std::make_unique<Peer>(argv);
    return slave_->line() == "READY";
  }

  // The slave's holding registers once `reg` holds `value`, or as they are at the deadline.
  std::map<int, int> HoldingOnce(int reg, int value) {
    std::map<int, int> regs;
    WaitFor(
        [&] {
          regs.clear();
          std::string s = ReadFile(dump);
          for (char& c : s) {
            if (c == '{' || c == '}' || c == '"' || c == ':' || c == ',') c = ' ';
          }
          std::istringstream in(s);
          int k, v;
          while (in >> k >> v) regs[k] = v;
          return regs.count(reg) && regs[reg] == value;
        },
        std::chrono::seconds(5));
    return regs;
  }

  std::string dir, dump;
  bool ready = false;

 private:
  std::vector<std::string> options_;
  std::unique_ptr<Peer> bridge_, slave_;
};

}  // namespace ostrel::cli::testing
