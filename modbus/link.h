#pragma once
// The narrow view of the Modbus serial port and of the log pane that the
// request senders and the read-out need. The window implements it over its
// port object Comm2 and its log pane; tests implement it with a recorder.
#include <cstdint>
#include <string>

namespace ostrel::modbus {

class ModbusLink {
 public:
  virtual ~ModbusLink() = default;
  // Drops whatever waits in the port's input and output queues.
  virtual void PurgeAll() = 0;
  // Raises or drops RTS. May throw the port's error; the send then stops there.
  virtual void SetRts(bool on) = 0;
  // Hands one byte to the port; the senders do not look at the result.
  virtual bool WriteByte(uint8_t byte) = 0;
  // Blocks until the bytes handed to the port have left the line (or the port gives up
  // waiting): an RS-485 adapter switched by RTS would otherwise cut the request's tail.
  virtual void WaitUntilSent() = 0;
  // Free room in the output queue; queried after a read request, result unused.
  virtual int OutputSpace() = 0;
  // Blocks for the given number of milliseconds.
  virtual void SleepMs(int ms) = 0;
};

// Appends one whole line to the log pane, exactly as given (UTF-8).
class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual void AddLogLine(const std::string& line) = 0;
};

}  // namespace ostrel::modbus
