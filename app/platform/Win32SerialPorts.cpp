// The Tools menu on Windows: the COM ports Windows knows.
#include "TForm1.h"
#include "Win32FormPorts.h"

namespace ostrel {

void TForm1::Serialports1Click() {
  if (!FormPorts)
    FormPorts = new TFormPorts(
        dialogs(), [this] { return OwnPortUse(); }, this);
  FormPorts->show();
  FormPorts->raise();
  FormPorts->activateWindow();
}

void TForm1::PortsChanged() {
  if (FormPorts && FormPorts->isVisible()) FormPorts->Refresh();
}

}  // namespace ostrel
