#pragma once
// The line handling every port of this program uses, the window's two links and the command
// line alike: no handshake of any kind, DTR and RTS held inactive (the Modbus sender raises RTS
// itself around a request), and direct writes.
#include "serial/VaComm.h"

namespace ostrel {

void UseNoHandshake(serial::TVaComm& port);

}  // namespace ostrel
