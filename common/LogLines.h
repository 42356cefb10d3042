#pragma once
// Log lines that more than one sender writes.

namespace ostrel {

// Every sender (panel scan, Modbus read-out and commands, custom command) logs this when
// its port is not connected, and sends nothing.
inline constexpr const char* kPortNotOpenedLine = "Serial port is not opened";

}  // namespace ostrel
