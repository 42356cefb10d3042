#include "modbus/commands.h"

#include <array>

namespace ostrel::modbus {
CommandWord BuildCommandWord(const CommandControls& c) {
  CommandWord w;
  const int code = c.command == PanelCommand::None ? 0 : static_cast<int>(c.command);
  w.high = static_cast<uint8_t>(((c.panelNumber & 0x0F) << 4) | (c.panelDisable ? 0x08 : 0) | code);
  const int zone = c.zoneDevice & 0xFF;
  switch (c.command) {
    case PanelCommand::GeneralWrite:
      w.low = static_cast<uint8_t>((c.beeper ? 0x01 : 0) | (c.resetFire ? 0x02 : 0) | (c.fire2 ? 0x04 : 0) |
                                   (c.fire2Time ? 0x08 : 0) | (c.siren ? 0x10 : 0));
      break;
    case PanelCommand::ZoneControl: w.low = static_cast<uint8_t>(zone); break;
    case PanelCommand::DeviceControl:
      w.low = zone <= 125 ? static_cast<uint8_t>(zone | (c.loop2 ? 0x80 : 0)) : 0x00;
      break;
    case PanelCommand::OutputsControl: w.low = static_cast<uint8_t>(zone | (c.loop2 ? 0x80 : 0)); break;
    case PanelCommand::None: w.low = 0x00; break;
  }
  return w;
}

uint8_t BuildLineCode(const std::string& baud, const std::string& parity) {
  int baudIndex = -1;
  for (size_t i = 0; i < kLineCodeBauds.size(); ++i) {
    if (baud == kLineCodeBauds[i]) baudIndex = static_cast<int>(i);
  }
  int parityBits = -1;
  for (const auto& p : kLineCodeParities) {
    if (parity == p.name) parityBits = p.code;
  }
  if (baudIndex < 0 || parityBits < 0) return kInvalidLineCode;
  return static_cast<uint8_t>((baudIndex << 4) | parityBits);
}

CommandEnables CommandChanged(PanelCommand command) {
  const bool general = command == PanelCommand::GeneralWrite;
  return {general, !general};
}

int ParseNewSlaveAddress(const std::string& text) {
  if (text.empty() || text.size() > 9) return 255;
  int value = 0;
  for (char ch : text) {
    if (ch < '0' || ch > '9') return 255;
    value = value * 10 + (ch - '0');
  }
  return value;
}

}  // namespace ostrel::modbus
