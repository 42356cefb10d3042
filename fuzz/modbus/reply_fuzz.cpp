// Arbitrary bytes through the read reply check and the read-out's receive path.
#include <cstddef>
#include <cstdint>
#include <string>

#include "modbus/readout.h"
#include "modbus/reply.h"

namespace {

using namespace ostrel::modbus;

class NullLink : public ModbusLink {
 public:
  void PurgeAll() override {}
  void SetRts(bool) override {}
  bool WriteByte(uint8_t) override { return true; }
  void WaitUntilSent() override {}
  int OutputSpace() override { return 0; }
  void SleepMs(int) override {}
};

// A table that enforces its bounds, as the window's grid does.
class CheckedView : public ReadoutView {
 public:
  void AddLogLine(const std::string&) override {}
  void SetStatusPanel2(const std::string&) override {}
  int RowCount() override { return rows_; }
  void SetRowCount(int n) override { rows_ = n; }
  void SetCell(int col, int row, const std::string&) override {
    if (col < 0 || col >= kRegisterColumns || row < 1 || row >= rows_) __builtin_trap();
  }
  std::string TimeOfDay() override { return "00:00:00"; }
  void SetModbusTimerInterval(int) override {}
  void SetModbusTimerEnabled(bool) override {}
  void SetAutoTimerInterval(int) override {}
  void SetAutoTimerEnabled(bool) override {}

 private:
  int rows_ = 2;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const ReplyCheck c = CheckReadReply(bytes);
  if (c.registers.size() > 127) __builtin_trap();  // a byte count of 255 at most

  NullLink link;
  CheckedView view;
  ModbusMaster master(link, view);
  master.BitBtn3Click({true, "1", "125", 1, 600});
  // The first byte splits the input into the pieces the port delivers.
  const size_t piece = size ? 1 + data[0] % 64 : 1;
  for (size_t at = 0; at < size; at += piece) master.Comm2RxChar(bytes.substr(at, piece));
  master.Timer_modbusTimer(size % 2 == 1, "65530");
  return 0;
}
