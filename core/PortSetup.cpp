#include "core/PortSetup.h"

namespace ostrel {

using namespace serial;

void UseNoHandshake(TVaComm& port) {
  TVaFlowControl& f = port.FlowControl();
  f.SetOutCtsFlow(false);
  f.SetOutDsrFlow(false);
  f.SetControlDtr(dtrDisabled);
  f.SetControlRts(rtsDisabled);
  f.SetXonXoffOut(false);
  f.SetXonXoffIn(false);
  f.SetDsrSensitivity(false);
  f.SetTxContinueOnXoff(false);
  port.SetDirectWrite(true);
}

std::function<std::string(std::size_t)> ReaderOf(TVaComm& port) {
  return [&port](std::size_t max) {
    std::string piece(max, '\0');
    const int32_t got = port.ReadBytes(reinterpret_cast<uint8_t*>(piece.data()), static_cast<int32_t>(max));
    piece.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return piece;
  };
}

}  // namespace ostrel
