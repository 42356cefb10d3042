#pragma once
// The line handling every port of this program uses, the window's two links and the command
// line alike: no handshake of any kind, DTR and RTS held inactive (the Modbus sender raises RTS
// itself around a request), and direct writes.
#include <cstddef>
#include <functional>
#include <string>

#include "serial/VaComm.h"

namespace ostrel {

void UseNoHandshake(serial::TVaComm& port);

// Reads at most `max` bytes from the port as a byte string (empty: nothing read), for
// ReadAnnounced.
std::function<std::string(std::size_t max)> ReaderOf(serial::TVaComm& port);

}  // namespace ostrel
