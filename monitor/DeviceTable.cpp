#include "monitor/DeviceTable.h"

namespace ostrel::monitor {

void DeviceTable::update(const DeviceKey& key, uint8_t status, std::vector<DeviceChange>& changes) {
  auto it = devices_.find(key);
  if (it == devices_.end()) {
    const bool readBefore = quiet_.count(key) > 0;
    if (status == 0) {
      quiet_[key] = true;
      return;
    }
    // A device that shows up: its bits changed from 0, unless this is the first read at all.
    DeviceState before;
    if (readBefore) before.status = 0;
    DeviceState after;
    after.status = status;
    devices_[key] = after;
    quiet_.erase(key);
    changes.push_back({key, before, after, readBefore && after.alarm(), readBefore && after.fault()});
    return;
  }
  const DeviceState before = it->second;
  it->second.status = status;
  if (before == it->second) return;
  const bool known = before.status.has_value();
  changes.push_back({key, before, it->second, known && before.alarm() != it->second.alarm(),
                     known && before.fault() != it->second.fault()});
}

std::vector<DeviceChange> DeviceTable::applyRegisters(int first, const std::vector<modbus::RegisterBytes>& registers) {
  std::vector<DeviceChange> changes;
  for (size_t k = 0; k < registers.size(); ++k) {
    const int number = first + static_cast<int>(k);
    if (number < 1 || number > kLastDeviceRegister) continue;
    update({1, number}, registers[k].high, changes);
    update({2, number}, registers[k].low, changes);
  }
  return changes;
}

std::vector<DeviceChange> DeviceTable::applyScan(const std::map<DeviceKey, ScanInfo>& found) {
  std::vector<DeviceChange> changes;
  for (const auto& [key, info] : found) {
    DeviceState& state = devices_[key];
    const DeviceState before = state;
    if (!state.status && quiet_.count(key)) state.status = 0;
    quiet_.erase(key);
    state.scan = info;
    if (before == state) continue;
    changes.push_back({key, before, state, false, false});
  }
  return changes;
}

}  // namespace ostrel::monitor
