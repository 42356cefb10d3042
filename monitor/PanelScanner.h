#pragma once
// A panel's own protocol port, on a thread of its own: the panel is scanned at the start and
// then every scan period, and the devices it finds go to its feed. A scan that fails is tried
// again at the next period; a lost port is opened again before it.
#include <thread>

#include "monitor/PanelFeed.h"
#include "monitor/PortKeeper.h"

namespace ostrel::monitor {

class PanelScanner {
 public:
  explicit PanelScanner(PanelFeed& panel);
  ~PanelScanner();
  void start();
  // Ends the thread; call once the interrupt flag is raised.
  void join();

 private:
  void run();
  // The devices found, or nothing when the scan broke off (the reason in `why`).
  std::optional<std::map<DeviceKey, ScanInfo>> scan(cli::CliPort& port, std::string& why);

  PanelFeed& panel_;
  PortKeeper keeper_;
  std::thread thread_;
};

}  // namespace ostrel::monitor
