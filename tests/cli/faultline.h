#pragma once
// tools/faultline between a program under test and its peer, for the tests
// that run Ostrel over a line that lies.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "peers.h"

namespace ostrel::cli::testing {

// The fault logs go with the device map folder, or stay in $FAULTLINE_LOG_DIR when set.
inline std::string LogDir(const std::string& dir) {
  const char* keep = std::getenv("FAULTLINE_LOG_DIR");
  return keep && *keep ? keep : dir;
}

// tools/faultline offering `dir`/`name` and forwarding to the peer's device.
class FaultLine {
 public:
  FaultLine(const std::string& dir, const std::string& name, const std::string& peer, int seed,
            const std::vector<std::string>& faults)
      : log(LogDir(dir) + "/faultline-" + std::to_string(seed) + ".jsonl") {
    std::vector<std::string> argv{"python3",    std::string(OSTREL_SOURCE_DIR) + "/tools/faultline",
                                  "--peer",     peer,
                                  "--link-dir", dir,
                                  "--name",     name,
                                  "--seed",     std::to_string(seed),
                                  "--log",      log};
    argv.insert(argv.end(), faults.begin(), faults.end());
    line_ = std::make_unique<Peer>(argv);
    ready = !line_->line().empty() && WaitFor([&] { return Exists(dir + "/" + name); }, std::chrono::seconds(10));
  }
  // Ends the line; its log is whole then. The faults it made, by kind.
  std::map<std::string, int> stop() {
    line_.reset();
    std::map<std::string, int> kinds;
    for (const auto& l : Lines(ReadFile(log))) {
      const size_t at = l.find("\"kind\": \"");
      if (at == std::string::npos) continue;
      const size_t from = at + 9;
      const std::string kind = l.substr(from, l.find('"', from) - from);
      if (kind != "start" && kind != "summary" && kind != "back") ++kinds[kind];
    }
    return kinds;
  }
  std::string log;
  bool ready = false;

 private:
  std::unique_ptr<Peer> line_;
};

inline std::string Describe(const std::map<std::string, int>& kinds) {
  std::string s;
  for (const auto& [k, n] : kinds) s += k + " " + std::to_string(n) + ", ";
  return s;
}

}  // namespace ostrel::cli::testing
