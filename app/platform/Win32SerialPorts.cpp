// The Tools menu on Windows: the COM ports Windows knows.
#include "TForm1.h"
#include "Win32FormPorts.h"

namespace ostrel {

void TForm1::Serialports1Click() {
  if (!FormPorts) {
    auto ownUse = [this] {
      std::vector<TFormPorts::OwnUse> use;
      if (fpPortOpen) use.push_back({panelDevicePath, "Ostrel's panel link"});
      if (modbusPortOpen) use.push_back({modbusDevicePath, "Ostrel's Modbus link"});
      return use;
    };
    FormPorts = new TFormPorts(dialogs(), std::move(ownUse), this);
  }
  FormPorts->show();
  FormPorts->raise();
  FormPorts->activateWindow();
}

void TForm1::PortsChanged() {
  if (FormPorts && FormPorts->isVisible()) FormPorts->Refresh();
}

}  // namespace ostrel
