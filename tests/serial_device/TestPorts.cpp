#include "TestPorts.h"

#include <cstdlib>

namespace ostrel::serial::test {

TestPorts PortsFromEnvironment() {
  TestPorts p;
  const char* a = std::getenv("OSTREL_TEST_PORT_A");
  const char* b = std::getenv("OSTREL_TEST_PORT_B");
  if (a && b && *a && *b) {
    p.a = a;
    p.b = b;
  }
  return p;
}

}  // namespace ostrel::serial::test
