#pragma once
// The window's port names: "COM1" to "COM256", as Windows names serial ports.
#include <string>

namespace ostrel {

inline constexpr int kLastComNumber = 256;

// 3 for "COM3" or "com3"; 0 for a name that is no COM name (leading zeros, a number past
// kLastComNumber, anything else).
int ComNumber(const std::string& name);

}  // namespace ostrel
