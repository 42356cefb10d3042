#pragma once
// One Modbus port and the panels behind it (one slave address each), on a thread of its own:
// each panel is read every period, one request at a time; commands wait for the line between
// read-outs. A lost port makes every panel on it offline until it opens again.
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/Console.h"
#include "monitor/PanelFeed.h"
#include "monitor/PortKeeper.h"

namespace ostrel::monitor {

class ModbusPoller {
 public:
  ModbusPoller(const std::string& port, const cli::LineSettings& line, std::vector<PanelFeed*> panels);
  ~ModbusPoller();

  void start();
  // Ends the thread; call once the interrupt flag is raised.
  void join();
  // Any thread: a command's JSON for one of this port's panels, run between read-outs.
  void command(PanelFeed* panel, std::string payload);

 private:
  struct Pending {
    PanelFeed* panel;
    std::string payload;
  };
  void run();
  void readPanel(cli::CliPort& port, PanelFeed& panel);
  void runCommand(cli::CliPort* port, const Pending& c);
  void waitUntil(cli::Clock::time_point when);
  void allLost(const std::string& reason);

  PortKeeper keeper_;
  std::vector<PanelFeed*> panels_;
  std::vector<cli::Clock::time_point> due_;
  cli::Console console_{true, false};
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Pending> commands_;
  std::thread thread_;
};

}  // namespace ostrel::monitor
