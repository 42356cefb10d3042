#pragma once
// The Modbus master's state on the window's event loop: the receive buffer, the
// pending-write flag, the reply wait, the register table rows, the automatic
// read-out and the command buttons. The window's handlers call straight into it.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "modbus/commands.h"
#include "modbus/frames.h"
#include "modbus/link.h"
#include "modbus/reply.h"

namespace ostrel::modbus {

// What the read-out changes in the window. Timers map 1:1 onto Timer_modbus and
// Timer_auto; their wrapper keeps a running countdown when enabled again and
// restarts it when given a different interval.
class ReadoutView : public LogSink {
 public:
  // The reply check's verdict on the last reply, shown in the status bar.
  virtual void SetCrcStatusText(const std::string& text) = 0;
  // gridInputRegisters: RowCount counts the header row.
  virtual int RowCount() = 0;
  virtual void SetRowCount(int rows) = 0;
  virtual void SetCell(int col, int row, const std::string& text) = 0;
  // The time of day in the user's long time format.
  virtual std::string TimeOfDay() = 0;
  virtual void SetModbusTimerInterval(int ms) = 0;
  virtual void SetModbusTimerEnabled(bool on) = 0;
  virtual void SetAutoTimerInterval(int ms) = 0;
  virtual void SetAutoTimerEnabled(bool on) = 0;
};

// A text that is not a decimal integer; the window shows it in its general error report.
class ConversionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Decimal text to integer (optional sign); throws ConversionError.
int TextToInt(const std::string& text);

inline constexpr int kRegisterColumns = 6;

// The read block's controls at the moment of a read-out.
struct ReadControls {
  bool portOpen = false;    // modbusPortOpen
  std::string start;        // EditInputAddress
  std::string count;        // EditInputCount
  int slave = 1;            // UDmodbusAddress
  int timeoutMs = 600;      // UD_modbusTimeout
  bool deviceLost = false;  // Comm2's device went away while connected (already reported)
};

// The port-pair and line-code controls of "Write baud and parity".
struct LineControls {
  std::string baud;        // Combo_baud
  std::string parity;      // Combo_parity
  bool fpPort = false;     // checkFPbaud
  bool modbusPort = true;  // checkModbusPort
};

class ModbusMaster {
 public:
  ModbusMaster(ModbusLink& link, ReadoutView& view);

  // "Read registers" (also the automatic timer's tick).
  void ReadRegisters(const ReadControls& c);
  // The automatic read-out skips a lost device, saying so once, until the
  // port is connected again; otherwise it is "Read registers".
  void AutomaticReadout(const ReadControls& c);
  // Bytes read from Comm2; only collected, examined when the wait ends.
  void CollectReply(std::string_view bytes);
  // End of the reply wait. startText is EditInputAddress as it reads now.
  void ReplyWaitEnded(bool autoReadoutChecked, const std::string& startText);
  // "Clear grid".
  void ClearTable();
  void SetAutomaticReadout(bool checked);
  // udAutoPosition: the position of UD_auto in seconds.
  void AutomaticPeriodChanged(int udAutoPosition);

  // "Write Holding Register": the command word into register 1.
  void WriteHoldingRegister(bool portOpen, int slave, const CommandControls& c);
  // "Set Date/Time": the clock into registers 2..5.
  void SetDateTime(bool portOpen, int slave, const ClockTime& clock);
  // "Write baud and parity": the line code into 0x8013 (FP port) or 0x8012 (Modbus port).
  void WriteLineSettings(bool portOpen, int slave, const LineControls& c);
  // "Set address": the new slave address into 0x8011.
  void SetSlaveAddress(const std::string& addressText, bool portOpen, int slave);

  // One register row of the table, written into `row`; the table then grows by one row.
  void DecodeRegister(uint8_t high, uint8_t low, int row, int number);

  const std::string& RxBuffer() const { return rxBuffer_; }
  bool WritePending() const { return writePending_; }

 private:
  class Sink;
  void startWrite();

  ModbusLink& link_;
  ReadoutView& view_;
  std::string rxBuffer_;         // everything received since the last request started
  bool writePending_ = false;    // the last request was a write: its reply is only logged
  bool lostSkipLogged_ = false;  // the skip of a lost device has been logged
};

}  // namespace ostrel::modbus
