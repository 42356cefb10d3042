// Connecting and disconnecting the two serial ports.
#include "TForm1.h"

#if __has_include("serial/VaComm.h")
#include "serial/VaComm.h"
#define OSTREL_HAVE_VACOMM 1
#endif

namespace ostrel {

void TForm1::CommDeleter::operator()(TVaComm* port) const {
#ifdef OSTREL_HAVE_VACOMM
  delete port;
#else
  (void)port;  // without the component no port object is ever created
#endif
}

void TForm1::Butt_open_portClick() {}
void TForm1::Butt_open_port2Click() {}
void TForm1::AutoConnectPorts() {}
void TForm1::DisconnectPortsOnClose() {}

}  // namespace ostrel
