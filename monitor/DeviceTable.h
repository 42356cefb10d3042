#pragma once
// Each device's state, by loop and address, from the panel's status bytes and its scans. The
// status registers below the zones carry one device each: register N's high byte is device N
// of loop 1, its low byte device N of loop 2. A scan adds what it knows of a device (type,
// zone, switched on or off). What changed is returned, so the caller publishes only that.
#include <compare>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "modbus/reply.h"

namespace ostrel::monitor {

// The last register that carries device states; the zones follow it.
inline constexpr int kLastDeviceRegister = 1750;

struct DeviceKey {
  int loop = 1;
  int address = 1;
  friend auto operator<=>(const DeviceKey&, const DeviceKey&) = default;
};

struct ScanInfo {
  int typeCode = 0;
  std::string typeName;
  int zone = 0;
  bool switchedOn = true;
  friend bool operator==(const ScanInfo&, const ScanInfo&) = default;
};

struct DeviceState {
  std::optional<uint8_t> status;  // the status byte, once read
  std::optional<ScanInfo> scan;

  bool on() const { return bit(0x80); }
  bool alarm() const { return bit(0x40); }
  bool ao() const { return bit(0x20); }
  bool noLink() const { return bit(0x10); }
  // Disabled by its status bit, or switched off as the last scan found it.
  bool disabled() const { return bit(0x08) || (scan && !scan->switchedOn); }
  bool fault() const { return bit(0x04); }
  friend bool operator==(const DeviceState&, const DeviceState&) = default;

 private:
  bool bit(uint8_t mask) const { return status && (*status & mask); }
};

struct DeviceChange {
  DeviceKey key;
  DeviceState before, after;
  // The device's alarm or fault changed (never on the first read of its status).
  bool alarmChanged = false, faultChanged = false;
};

class DeviceTable {
 public:
  // The read-out of registers first .. first + n - 1.
  std::vector<DeviceChange> applyRegisters(int first, const std::vector<modbus::RegisterBytes>& registers);
  // The devices a scan found; devices it did not find keep what an earlier scan said.
  std::vector<DeviceChange> applyScan(const std::map<DeviceKey, ScanInfo>& found);

  const std::map<DeviceKey, DeviceState>& devices() const { return devices_; }

 private:
  void update(const DeviceKey& key, uint8_t status, std::vector<DeviceChange>& changes);

  // Devices that exist: a status byte other than 0 was read, or a scan found them.
  std::map<DeviceKey, DeviceState> devices_;
  // Status bytes read so far for devices with nothing to show yet (all 0).
  std::map<DeviceKey, bool> quiet_;
};

}  // namespace ostrel::monitor
