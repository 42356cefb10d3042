#pragma once
// The texts the monitor publishes, each one JSON document (the status is a bare word, as
// dashboards and Home Assistant's availability expect). The schemas in monitor/schemas describe
// them.
#include <string>
#include <vector>

#include "monitor/DeviceTable.h"

namespace ostrel::monitor {

inline constexpr const char* kOnline = "online";
inline constexpr const char* kOffline = "offline";

// Registers with their bytes and decode words; snapshot tells a full read-out from the
// registers that changed. seq counts the panel's registers messages from 1, so a reader sees
// a gap.
struct RegisterValue {
  int number = 0;
  modbus::RegisterBytes bytes;
};
std::string RegistersPayload(const std::string& time, int slave, unsigned long long seq, bool snapshot,
                             const std::vector<RegisterValue>& regs);

std::string DevicePayload(const std::string& time, const DeviceKey& key, const DeviceState& state);

// One change of a device's alarm or fault.
std::string DeviceEventPayload(const std::string& time, const DeviceChange& change);
// The panel's link went offline (with the reason) or came back online.
std::string LinkEventPayload(const std::string& time, bool online, const std::string& reason);
// Messages dropped while the broker could not take them.
std::string DroppedEventPayload(const std::string& time, unsigned long long count);

// The answer to a command: result is "confirmed", "failed", "refused" or "invalid".
std::string CommandResultPayload(const std::string& time, const std::string& id, const std::string& result,
                                 const std::string& message);

// Home Assistant's discovery messages of one device: its alarm and fault as binary sensors.
struct Discovery {
  std::string topic, payload;
};
std::vector<Discovery> DeviceDiscovery(const std::string& discoveryPrefix, const std::string& nodeId,
                                       const std::string& panel, const std::string& panelTopic, const DeviceKey& key);

}  // namespace ostrel::monitor
