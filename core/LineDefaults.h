#pragma once
// The settings each of the panel's two lines has until the user chooses others: at the
// window's first start, for a settings file without them, and for ostrel-cli without --speed,
// --parity and --stop.
#include <cstdint>
#include <string>

#include "serial/VaPrst.h"

namespace ostrel {

struct LineDefaults {
  uint32_t speed;
  serial::TVaParity parity;
  serial::TVaStopbits stop;
};

// The panel's own protocol, on its FP port: 2400 baud, even parity, 2 stop bits.
inline constexpr LineDefaults kPanelLineDefaults{2400, serial::paEven, serial::sb2};
// Its Modbus RTU port: 19200 baud, even parity, 1 stop bit.
inline constexpr LineDefaults kModbusLineDefaults{19200, serial::paEven, serial::sb1};

// The texts of the window's lists for them: "2400", "Even", "2".
inline std::string SpeedText(const LineDefaults& d) { return std::to_string(d.speed); }
inline std::string ParityText(const LineDefaults& d) {
  for (const auto& named : serial::kParityNames)
    if (named.parity == d.parity) return named.name;
  return {};
}
inline std::string StopText(const LineDefaults& d) {
  return d.stop == serial::sb1 ? "1" : d.stop == serial::sb2 ? "2" : "1.5";
}

}  // namespace ostrel
