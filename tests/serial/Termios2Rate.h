#pragma once
// Reads a terminal's output rate through termios2, the only way to see a rate that has no
// Bnnn constant (kept in a file of its own: termios2 and <termios.h> do not mix).
#include <cstdint>

namespace ostrel::serial::test {
// The output rate in bits per second, or 0 when the terminal cannot be read.
uint32_t termios2OutputRate(int fd);
}  // namespace ostrel::serial::test
