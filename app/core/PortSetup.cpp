#include "app/core/PortSetup.h"

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

}  // namespace ostrel
