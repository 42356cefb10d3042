#include "modbus/readout.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "common/LogLines.h"
#include "common/hexdump.h"
#include "modbus/codes.h"
#include "modbus/decode.h"

namespace ostrel::modbus {

namespace {
constexpr char kAutoReadoutSkipped[] =
    "Automatic readout skipped: the Modbus port's device is no longer available; "
    "disconnect and connect the port to go on";
}

int TextToInt(const std::string& text) {
  const std::string error = "'" + text + "' is not a valid integer value";
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  if (i == text.size()) throw ConversionError(error);
  for (size_t j = i; j < text.size(); ++j) {
    if (text[j] < '0' || text[j] > '9') throw ConversionError(error);
  }
  errno = 0;
  const long long v = std::strtoll(text.c_str(), nullptr, 10);
  if (errno == ERANGE || v > INT_MAX || v < INT_MIN) throw ConversionError(error);
  return static_cast<int>(v);
}

// Routes the reply check's reports to the view and the table.
class ModbusMaster::Sink : public ReplySink {
 public:
  explicit Sink(ModbusMaster& m) : m_(m) {}
  void AddLogLine(const std::string& line) override { m_.view_.AddLogLine(line); }
  void SetCrcStatusText(const std::string& text) override { m_.view_.SetCrcStatusText(text); }
  void DecodeRegister(uint8_t high, uint8_t low, int row, int number) override {
    m_.DecodeRegister(high, low, row, number);
  }

 private:
  ModbusMaster& m_;
};

ModbusMaster::ModbusMaster(ModbusLink& link, ReadoutView& view) : link_(link), view_(view) {}

void ModbusMaster::ReadRegisters(const ReadControls& c) {
  if (!c.portOpen) {
    view_.AddLogLine("Serial port for modbus is not open...");
    return;
  }
  if (c.start.empty() || c.count.empty()) {
    view_.AddLogLine("Enter proper initial conditions...");
    return;
  }
  rxBuffer_.clear();
  writePending_ = false;
  link_.PurgeAll();
  const int start = TextToInt(c.start);
  const int count = TextToInt(c.count);
  SendReadInputRegisters(link_, view_, static_cast<uint8_t>(c.slave), start, count);
  view_.SetModbusTimerInterval(c.timeoutMs);
  view_.SetModbusTimerEnabled(true);
}

void ModbusMaster::AutomaticReadout(const ReadControls& c) {
  // The loss was reported when it happened; a read-out now could only fail
  // again, once a period.
  if (c.portOpen && c.deviceLost) {
    if (!lostSkipLogged_) view_.AddLogLine(kAutoReadoutSkipped);
    lostSkipLogged_ = true;
    return;
  }
  lostSkipLogged_ = false;
  ReadRegisters(c);
}

void ModbusMaster::CollectReply(std::string_view bytes) { rxBuffer_.append(bytes); }

void ModbusMaster::ReplyWaitEnded(bool autoReadoutChecked, const std::string& startText) {
  view_.SetModbusTimerEnabled(false);
  const std::string reply = rxBuffer_;
  if (autoReadoutChecked) ClearTable();
  if (!writePending_ && !reply.empty()) {
    const int first = TextToInt(startText);
    Sink sink(*this);
    DecodeReadReply(first, view_.RowCount() - 1, reply, sink);
  }
  view_.AddLogLine(ostrel::hexLine("QVMD:", reply));
  writePending_ = false;
}

void ModbusMaster::ClearTable() {
  const int rows = view_.RowCount();
  for (int row = 1; row < rows; ++row) {
    for (int col = 0; col < kRegisterColumns; ++col) view_.SetCell(col, row, std::string());
  }
  view_.SetRowCount(2);
}

void ModbusMaster::SetAutomaticReadout(bool checked) { view_.SetAutoTimerEnabled(checked); }

void ModbusMaster::AutomaticPeriodChanged(int udAutoPosition) { view_.SetAutoTimerInterval(udAutoPosition * 1000); }

void ModbusMaster::DecodeRegister(uint8_t high, uint8_t low, int row, int number) {
  view_.SetCell(0, row, std::to_string(number));
  view_.SetCell(1, row, ostrel::hexDump(std::string(1, static_cast<char>(high))).substr(0, 2));
  view_.SetCell(2, row, DecodeStatusByte(high, number));
  view_.SetCell(3, row, ostrel::hexDump(std::string(1, static_cast<char>(low))).substr(0, 2));
  view_.SetCell(4, row, DecodeStatusByte(low, number));
  view_.SetCell(5, row, view_.TimeOfDay());
  view_.SetRowCount(view_.RowCount() + 1);
}

void ModbusMaster::startWrite() {
  writePending_ = true;
  rxBuffer_.clear();
}

void ModbusMaster::WriteHoldingRegister(bool portOpen, int slave, const CommandControls& c) {
  const CommandWord w = BuildCommandWord(c);
  if (!portOpen) {
    view_.AddLogLine(kPortNotOpenedLine);
    return;
  }
  startWrite();
  SendWriteSingleRegister(link_, view_, static_cast<uint8_t>(slave), 1, w.high, w.low);
  view_.SetModbusTimerEnabled(true);
}

void ModbusMaster::SetDateTime(bool portOpen, int slave, const ClockTime& clock) {
  if (!portOpen) {
    view_.AddLogLine(kPortNotOpenedLine);
    return;
  }
  startWrite();
  SendSetDateTime(link_, view_, static_cast<uint8_t>(slave), 2, 4, clock);
  view_.SetModbusTimerEnabled(true);
}

void ModbusMaster::WriteLineSettings(bool portOpen, int slave, const LineControls& c) {
  if (!portOpen) {
    view_.AddLogLine(kPortNotOpenedLine);
    return;
  }
  const uint8_t code = BuildLineCode(c.baud, c.parity);
  if (code == kInvalidLineCode) {
    view_.AddLogLine("Wrong baud or parity selected...");
    return;
  }
  // The port is chosen before the request state is touched, so a refusal leaves a
  // running read-out's buffer and decode intact.
  int reg = 0;
  if (c.fpPort) {
    reg = kPanelPortLineRegister;
  } else if (c.modbusPort) {
    reg = kModbusLineRegister;
  } else {
    view_.AddLogLine("Select either FP or Modbus device...");
    return;
  }
  startWrite();
  SendWriteSingleRegister(link_, view_, static_cast<uint8_t>(slave), reg, 0x00, code);
  view_.SetModbusTimerEnabled(true);
}

void ModbusMaster::SetSlaveAddress(const std::string& addressText, bool portOpen, int slave) {
  if (addressText.empty()) {
    view_.AddLogLine("Modbus address not entered");
    return;
  }
  const int address = ParseNewSlaveAddress(addressText);
  if (address >= 255) {
    view_.AddLogLine("Invalid new modbus address entered...");
    return;
  }
  if (!portOpen) {
    view_.AddLogLine("Serial COM port is not opened");
    return;
  }
  startWrite();
  SendWriteSingleRegister(link_, view_, static_cast<uint8_t>(slave), kSlaveAddressRegister, 0x00,
                          static_cast<uint8_t>(address));
  view_.SetModbusTimerEnabled(true);
}

}  // namespace ostrel::modbus
