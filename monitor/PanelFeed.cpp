#include "monitor/PanelFeed.h"

#include "cli/Records.h"
#include "monitor/Log.h"
#include "monitor/Payloads.h"

namespace ostrel::monitor {

PanelFeed::PanelFeed(const PanelConfig& config, std::string topic, Publish publish, DiscoverySettings discovery)
    : config_(config), topic_(std::move(topic)), publish_(std::move(publish)), discovery_(std::move(discovery)) {}

void PanelFeed::send(const std::string& sub, std::string payload, bool retain) {
  publish_({topic_ + "/" + sub, std::move(payload), retain});
}

std::string PanelFeed::status() const {
  const std::lock_guard<std::mutex> hold(mutex_);
  return online_ ? (*online_ ? kOnline : kOffline) : "";
}

void PanelFeed::setOnline(bool online, const std::string& reason) {
  if (online_ == online) return;
  const bool transition = online_.has_value();
  online_ = online;
  LogLine("panel " + config_.name + ": " + (online ? "online" : "offline: " + reason));
  send("status", online ? kOnline : kOffline, true);
  // The first verdict after the start is a state, not a transition.
  if (transition) send("event", LinkEventPayload(cli::IsoTimestampNow(), online, reason), false);
}

void PanelFeed::readout(const std::vector<std::vector<modbus::RegisterBytes>>& registers) {
  const std::lock_guard<std::mutex> hold(mutex_);
  const std::string time = cli::IsoTimestampNow();
  failures_ = 0;
  setOnline(true, {});
  std::vector<RegisterValue> changed, all;
  std::vector<DeviceChange> changes;
  for (size_t r = 0; r < registers.size() && r < config_.registers.size(); ++r) {
    const int first = config_.registers[r].first;
    for (size_t k = 0; k < registers[r].size(); ++k) {
      const RegisterValue v{first + static_cast<int>(k), registers[r][k]};
      all.push_back(v);
      auto [it, added] = registers_.try_emplace(v.number, v.bytes);
      if (added || it->second.high != v.bytes.high || it->second.low != v.bytes.low) changed.push_back(v);
      it->second = v.bytes;
    }
    const auto found = devices_.applyRegisters(first, registers[r]);
    changes.insert(changes.end(), found.begin(), found.end());
  }
  const auto now = std::chrono::steady_clock::now();
  if (lastSnapshot_ == std::chrono::steady_clock::time_point{} || now - lastSnapshot_ >= config_.snapshot) {
    lastSnapshot_ = now;
    send("registers", RegistersPayload(time, config_.slave, ++sequence_, true, all), false);
  } else if (!changed.empty()) {
    send("registers", RegistersPayload(time, config_.slave, ++sequence_, false, changed), false);
  }
  publishDevices(changes, time);
}

void PanelFeed::publishDevices(const std::vector<DeviceChange>& changes, const std::string& time) {
  for (const DeviceChange& c : changes) {
    const std::string where = "device/" + std::to_string(c.key.loop) + "/" + std::to_string(c.key.address);
    if (discovery_.on && announced_.insert(c.key).second) {
      for (const auto& d : DeviceDiscovery(discovery_.prefix, discovery_.nodeId, config_.name, topic_, c.key))
        publish_({d.topic, d.payload, true});
    }
    send(where, DevicePayload(time, c.key, c.after), true);
    if (c.alarmChanged || c.faultChanged) send("event", DeviceEventPayload(time, c), false);
  }
}

void PanelFeed::readFailed(const std::string& reason) {
  const std::lock_guard<std::mutex> hold(mutex_);
  if (++failures_ >= config_.silentAfter)
    setOnline(false, "the panel did not answer " + std::to_string(failures_) + " read-outs: " + reason);
}

void PanelFeed::portLost(const std::string& reason) {
  const std::lock_guard<std::mutex> hold(mutex_);
  setOnline(false, reason);
}

void PanelFeed::scanned(const std::map<DeviceKey, ScanInfo>& found) {
  const std::lock_guard<std::mutex> hold(mutex_);
  publishDevices(devices_.applyScan(found), cli::IsoTimestampNow());
}

void PanelFeed::commandResult(const std::string& id, const std::string& result, const std::string& message) {
  send("command/result", CommandResultPayload(cli::IsoTimestampNow(), id, result, message), false);
}

}  // namespace ostrel::monitor
