#pragma once
// The two linked serial ports the device tests talk over, and what the platform under test
// lets them check. Each platform's support file supplies these; the tests name no platform.
#include <string>

namespace ostrel::serial::test {

struct TestPorts {
  std::string a, b;        // names OpenSystemDevice takes; what one sends the other receives
  std::string skipReason;  // set when this machine has no linked ports to offer
  std::string failure;     // set when making the pair failed
};

// The ports named by OSTREL_TEST_PORT_A and OSTREL_TEST_PORT_B when both are set; otherwise a
// linked pair of the platform's own making, where it can make one, kept for the whole run.
const TestPorts& LinkedPorts();

// The ports the two variables name; both names empty unless both are set.
TestPorts PortsFromEnvironment();

// A name no device answers to.
std::string MissingPortName();

// Why a refused second open cannot be checked on this system; empty where it can.
std::string SecondOpenUncheckable();

}  // namespace ostrel::serial::test
