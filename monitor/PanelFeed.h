#pragma once
// What one panel publishes, from the read-outs and scans of its ports' threads: its status,
// the registers that changed (and a full snapshot now and then), each device's state and the
// events of its alarm, fault and link. The status goes offline when the port is lost or the
// panel stays silent for its configured number of read-outs.
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "monitor/Config.h"
#include "monitor/DeviceTable.h"
#include "monitor/OutQueue.h"

namespace ostrel::monitor {

using Publish = std::function<void(Message)>;

struct DiscoverySettings {
  bool on = false;
  std::string prefix, nodeId;
};

class PanelFeed {
 public:
  PanelFeed(const PanelConfig& config, std::string topic, Publish publish, DiscoverySettings discovery = {});

  const PanelConfig& config() const { return config_; }
  const std::string& topic() const { return topic_; }

  // One whole read-out: every configured range, in order (registers[k] for ranges[k]).
  void readout(const std::vector<std::vector<modbus::RegisterBytes>>& registers);
  // A read-out that failed (no reply, garbage, an exception).
  void readFailed(const std::string& reason);
  // The Modbus port is gone (or cannot be opened).
  void portLost(const std::string& reason);
  // The devices a scan found.
  void scanned(const std::map<DeviceKey, ScanInfo>& found);
  // The answer to a command.
  void commandResult(const std::string& id, const std::string& result, const std::string& message);

  // "online" or "offline", or empty before the first read-out has told.
  std::string status() const;

 private:
  void setOnline(bool online, const std::string& reason);
  void publishDevices(const std::vector<DeviceChange>& changes, const std::string& time);
  void send(const std::string& sub, std::string payload, bool retain);

  const PanelConfig& config_;
  std::string topic_;
  Publish publish_;
  DiscoverySettings discovery_;

  mutable std::mutex mutex_;  // read-outs and scans come from different threads
  DeviceTable devices_;
  std::set<DeviceKey> announced_;  // devices whose discovery messages went out
  std::map<int, modbus::RegisterBytes> registers_;
  std::chrono::steady_clock::time_point lastSnapshot_{};
  std::optional<bool> online_;
  int failures_ = 0;
  unsigned long long sequence_ = 0;  // registers messages so far
};

}  // namespace ostrel::monitor
