#pragma once
// A Modbus link that goes nowhere, for benchmarks and fuzz targets that drive the master
// without a port: every byte is taken at once and nothing waits.
#include "modbus/link.h"

namespace ostrel::doubles {

class NullLink : public modbus::ModbusLink {
 public:
  void PurgeAll() override {}
  void SetRts(bool) override {}
  bool WriteByte(uint8_t) override { return true; }
  void WaitUntilSent() override {}
  int OutputSpace() override { return 0; }
  void SleepMs(int) override {}  // the send's pauses are the wire's business
};

}  // namespace ostrel::doubles
