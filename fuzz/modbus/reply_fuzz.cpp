// Arbitrary bytes through the read reply check and the read-out's receive path.
#include <cstddef>
#include <cstdint>
#include <string>

#include "modbus/readout.h"
#include "modbus/reply.h"
#include "testing/ModbusDoubles.h"

namespace {

using namespace ostrel::modbus;

using ostrel::doubles::NullLink;

// A table that enforces its bounds, as the window's grid does.
class CheckedView : public ReadoutView {
 public:
  void AddLogLine(const std::string&) override {}
  void SetCrcStatusText(const std::string&) override {}
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
  // Registers are collected by the byte count, two bytes each from the bytes after it: at most
  // (count + 1) / 2 of them (128 for a count of 255, whose last register takes the CRC's low
  // byte), each the two bytes at its place in the reply.
  const ReplyCheck c = CheckReadReply(bytes);
  if (!c.registers.empty()) {
    if (c.kind != ReplyCheck::Kind::Registers) __builtin_trap();
    if (c.registers.size() > (static_cast<size_t>(data[2]) + 1) / 2) __builtin_trap();
    for (size_t k = 0; k < c.registers.size(); ++k) {
      if (4 + 2 * k >= size) __builtin_trap();
      if (c.registers[k].high != data[3 + 2 * k] || c.registers[k].low != data[4 + 2 * k]) __builtin_trap();
    }
  }

  NullLink link;
  CheckedView view;
  ModbusMaster master(link, view);
  master.ReadRegisters({true, "1", "125", 1, 600});
  // The first byte splits the input into the pieces the port delivers.
  const size_t piece = size ? 1 + data[0] % 64 : 1;
  for (size_t at = 0; at < size; at += piece) master.CollectReply(bytes.substr(at, piece));
  master.ReplyWaitEnded(size % 2 == 1, "65530");
  return 0;
}
