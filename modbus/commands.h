#pragma once
// The panel commands written as registers: the command word, the line code and
// the enabling rules of the commands group.
#include <array>
#include <cstdint>
#include <string>

namespace ostrel::modbus {

// The panel's commands; each one's value is the code the command word carries in bits 2..0 of
// its high byte. None is a command the panel does not know (code 0, and no argument).
enum class PanelCommand : uint8_t { GeneralWrite = 0, ZoneControl = 1, DeviceControl = 2, OutputsControl = 3, None };

// States of the commands group as the window shows them (enabled or not).
struct CommandControls {
  int panelNumber = 0;                        // UD_panelNumber, 0..13
  PanelCommand command = PanelCommand::None;  // the command chosen in ComboCommand
  bool panelDisable = false;                  // checkPanelEnable "En(0)/Dis(1)"
  int zoneDevice = 1;                         // UD_zoneDevice, 1..251
  bool loop1 = false;                         // checkLoop1 (never enters the word)
  bool loop2 = false;                         // checkLoop2
  bool beeper = false;                        // CheckBeeper
  bool resetFire = false;                     // CheckResetFire
  bool fire2 = false;                         // CheckFire2
  bool fire2Time = false;                     // Check_fire2Time
  bool siren = false;                         // CheckSiren
};

struct CommandWord {
  uint8_t high = 0;
  uint8_t low = 0;
};

// High byte: panel number in bits 7..4, bit 3 the disable box, bits 2..0 the command
// code. Low byte: the command's argument.
CommandWord BuildCommandWord(const CommandControls& c);

inline constexpr uint8_t kInvalidLineCode = 0xFF;
// The panel's line speeds in the order of their codes: a speed's index in this list is what
// the line code carries in bits 6..4. The window offers exactly this list, so the code sent is
// always the one the speed shown stands for.
inline constexpr std::array<const char*, 8> kLineCodeBauds{"300",  "1200",  "2400",  "4800",
                                                           "9600", "19200", "38400", "57600"};
// The panel's parities, in the order the window offers them, with the code each has in bits 1..0.
struct LineCodeParity {
  const char* name;
  uint8_t code;
};
inline constexpr std::array<LineCodeParity, 3> kLineCodeParities{{{"None", 2}, {"Even", 1}, {"Odd", 0}}};
// Baud rate index in bits 6..4 and parity in bits 1..0; 0xFF when either text is unknown.
uint8_t BuildLineCode(const std::string& baud, const std::string& parity);

// Which controls CommandChanged enables: the five boxes of the general write, or the
// panel-disable box, the loop boxes and the zone/device spin. Exactly one group is on.
struct CommandEnables {
  bool generalBoxes = false;   // CheckBeeper, CheckResetFire, CheckFire2, CheckSiren, Check_fire2Time
  bool targetControls = true;  // checkPanelEnable, checkLoop1, checkLoop2, UD_zoneDevice
};
CommandEnables CommandChanged(PanelCommand command);

// The exclusive pairs (Loop 1/Loop 2, FP port/Modbus port): after a click on one box
// the other takes the opposite of the clicked box's new state.
inline bool PartnerAfterClick(bool clickedNowChecked) { return !clickedNowChecked; }

// The new slave address typed for "Set address": a text that is not a decimal number
// counts as 255. Only 0..254 are accepted by the caller.
int ParseNewSlaveAddress(const std::string& text);

}  // namespace ostrel::modbus
