#include "SettingsTable.h"

#include <algorithm>
#include <variant>

#include "core/LineDefaults.h"

namespace ostrel {
namespace {

using Field = std::variant<std::string*, bool*, long long*>;

struct Key {
  const char* section;
  const char* key;
  Field (*field)(WindowSettings&);
};

// Every key of the settings file and the setting it holds. The link's
// "open on startup" of the Modbus link is kept in section "Modbus", beside
// the read-out's own keys, and the panel link's response time-out in "Mbus".
constexpr Key kKeys[] = {
    {"Com port", "Name", [](WindowSettings& s) -> Field { return &s.panelLink.name; }},
    {"Com port", "Speed", [](WindowSettings& s) -> Field { return &s.panelLink.speed; }},
    {"Com port", "Parity", [](WindowSettings& s) -> Field { return &s.panelLink.parity; }},
    {"Com port", "SB", [](WindowSettings& s) -> Field { return &s.panelLink.stop; }},
    {"Com port", "AutoOpen", [](WindowSettings& s) -> Field { return &s.panelLink.autoOpen; }},
    {"Modbus port", "Name", [](WindowSettings& s) -> Field { return &s.modbusLink.name; }},
    {"Modbus port", "Speed", [](WindowSettings& s) -> Field { return &s.modbusLink.speed; }},
    {"Modbus port", "Parity", [](WindowSettings& s) -> Field { return &s.modbusLink.parity; }},
    {"Modbus port", "SB", [](WindowSettings& s) -> Field { return &s.modbusLink.stop; }},
    {"Modbus", "AutoOpen", [](WindowSettings& s) -> Field { return &s.modbusLink.autoOpen; }},
    {"Mbus", "Timeout", [](WindowSettings& s) -> Field { return &s.responseTimeout; }},
    {"Modbus", "Timeout", [](WindowSettings& s) -> Field { return &s.modbusTimeout; }},
    {"Modbus", "Address", [](WindowSettings& s) -> Field { return &s.slaveAddress; }},
    {"Modbus", "STADDR", [](WindowSettings& s) -> Field { return &s.startAddress; }},
    {"Modbus", "Count", [](WindowSettings& s) -> Field { return &s.registerCount; }},
    {"Misc", "Dir", [](WindowSettings& s) -> Field { return &s.dataDir; }},
};

LinkSettings linkDefaults(const LineDefaults& d) { return {"COM1", SpeedText(d), ParityText(d), StopText(d), false}; }

}  // namespace

WindowSettings DefaultWindowSettings(const std::string& dataDir) {
  WindowSettings s;
  s.panelLink = linkDefaults(kPanelLineDefaults);
  s.modbusLink = linkDefaults(kModbusLineDefaults);
  s.dataDir = dataDir;
  return s;
}

void ReadWindowSettings(const IniFile& ini, WindowSettings& s) {
  for (const Key& k : kKeys) {
    std::visit(
        [&](auto* value) {
          using T = std::remove_pointer_t<decltype(value)>;
          if constexpr (std::is_same_v<T, std::string>)
            *value = ini.readString(k.section, k.key, *value);
          else if constexpr (std::is_same_v<T, bool>)
            *value = ini.readBool(k.section, k.key, *value);
          else
            *value = ini.readInteger(k.section, k.key, *value);
        },
        k.field(s));
  }
}

void WriteWindowSettings(const WindowSettings& s, IniFile& ini) {
  WindowSettings copy = s;
  for (const Key& k : kKeys) {
    std::visit(
        [&](auto* value) {
          using T = std::remove_pointer_t<decltype(value)>;
          if constexpr (std::is_same_v<T, std::string>)
            ini.writeString(k.section, k.key, *value);
          else if constexpr (std::is_same_v<T, bool>)
            ini.writeBool(k.section, k.key, *value);
          else
            ini.writeInteger(k.section, k.key, *value);
        },
        k.field(copy));
  }
}

int SpinPosition(long long value) { return static_cast<int>(std::clamp<long long>(value, -32768, 32767)); }

}  // namespace ostrel
