// The Tools menu: the serial ports dialog.
#include <cstdlib>

#include "TForm1.h"
#include "TFormPorts.h"
#include "core/DeviceMap.h"
#include "core/SerialDevices.h"

namespace ostrel {

void TForm1::Serialports1Click() {
  if (!FormPorts) {
    TFormPorts::Sources sources;
    sources.root = [] { return DeviceRootDir(std::getenv("OSTREL_DEVICE_ROOT")); };
    sources.mapFolder = [] { return DeviceMapDir(std::getenv("OSTREL_DEVICE_DIR")); };
    sources.ownUse = [this] { return OwnPortUse(); };
    FormPorts = new TFormPorts(dialogs(), std::move(sources), this);
  }
  FormPorts->show();
  FormPorts->raise();
  FormPorts->activateWindow();
}

void TForm1::PortsChanged() {
  if (FormPorts && FormPorts->isVisible()) FormPorts->Refresh();
}

}  // namespace ostrel
