// Linked ports on Windows: a null-modem pair (com0com or two ports with a cable), or under wine
// two pseudo-terminals that testing/wine/port-pair.sh maps as COM ports. Either way they are
// named from outside.
#include <windows.h>

#include "TestPorts.h"

namespace ostrel::serial::test {

namespace {
bool underWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}
}  // namespace

const TestPorts& LinkedPorts() {
  static const TestPorts ports = [] {
    TestPorts p = PortsFromEnvironment();
    if (p.a.empty()) {
      p.skipReason =
          "no linked ports: set OSTREL_TEST_PORT_A and OSTREL_TEST_PORT_B to two COM ports joined by a null modem, "
          "or run under testing/wine/port-pair.sh";
    }
    return p;
  }();
  return ports;
}

std::string MissingPortName() { return "COM199"; }

std::string SecondOpenUncheckable() {
  return underWine() ? "wine lets a second open of an open COM port through; Windows itself refuses it" : "";
}

}  // namespace ostrel::serial::test
