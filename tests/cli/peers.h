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
  SlavePeer() : dir(NewMapDir()), dump(dir + "/holding.json") {
    bridge_ = std::make_unique<Peer>(std::vector<std::string>{"socat", "pty,raw,echo=0,link=" + dir + "/COM2",
                                                              "pty,raw,echo=0,link=" + dir + "/slave"});
    if (!WaitFor([&] { return Exists(dir + "/COM2") && Exists(dir + "/slave"); }, std::chrono::seconds(10))) return;
    slave_ = std::make_unique<Peer>(
        std::vector<std::string>{"/usr/bin/python3", std::string(OSTREL_SOURCE_DIR) + "/tests/e2e/modbus_slave.py",
                                 "--port", dir + "/slave", "--input-count", "200", "--dump", dump});
    ready = slave_->line() == "READY";
  }
  ~SlavePeer() {
    slave_.reset();
    bridge_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
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
  std::unique_ptr<Peer> bridge_, slave_;
};

}  // namespace ostrel::cli::testing
