#pragma once
// The captions of the window's command list ("ComboCommand") for the panel's commands, in the
// list's order. The window shows them; ostrel-cli also takes them for --command.
#include <string_view>

#include "modbus/commands.h"

namespace ostrel {

struct CommandCaption {
  modbus::PanelCommand command;
  const char* caption;
};
inline constexpr CommandCaption kCommandCaptions[] = {{modbus::PanelCommand::GeneralWrite, "General write"},
                                                      {modbus::PanelCommand::ZoneControl, "Zone control"},
                                                      {modbus::PanelCommand::DeviceControl, "Device control"},
                                                      {modbus::PanelCommand::OutputsControl, "Outputs control"}};

// The command a caption stands for, compared exactly; None for any other text (the list is
// editable).
inline modbus::PanelCommand CommandOfCaption(std::string_view text) {
  for (const auto& c : kCommandCaptions)
    if (text == c.caption) return c.command;
  return modbus::PanelCommand::None;
}

}  // namespace ostrel
