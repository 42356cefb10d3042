#pragma once
// Recorders for the port and the window, shared by the Modbus tests.
#include <map>
#include <string>
#include <vector>

#include "modbus/link.h"
#include "modbus/readout.h"

namespace ostrel::modbus::testing {

// One journal for port operations and log lines, so their order can be checked.
struct Journal {
  std::vector<std::string> events;
  std::vector<std::string> log;
  std::string wire;  // the bytes written, in order
};

class FakeLink : public ModbusLink {
 public:
  explicit FakeLink(Journal& j) : j_(j) {}
  void PurgeAll() override { j_.events.push_back("purge"); }
  void SetRts(bool on) override { j_.events.push_back(on ? "rts+" : "rts-"); }
  bool WriteByte(uint8_t b) override {
    j_.wire.push_back(static_cast<char>(b));
    j_.events.push_back("byte");
    return true;
  }
  void WaitUntilSent() override { j_.events.push_back("sent"); }
  int OutputSpace() override {
    j_.events.push_back("space");
    return 4096;
  }
  void SleepMs(int ms) override { j_.events.push_back("sleep" + std::to_string(ms)); }

 private:
  Journal& j_;
};

class FakeLog : public LogSink {
 public:
  explicit FakeLog(Journal& j) : j_(j) {}
  void AddLogLine(const std::string& line) override {
    j_.log.push_back(line);
    j_.events.push_back("log");
  }

 private:
  Journal& j_;
};

// A register table plus the two timers, with the window's timer rules: enabling an
// enabled timer keeps its countdown, a new interval restarts it. Time is simulated.
class FakeView : public ReadoutView {
 public:
  explicit FakeView(Journal& j) : j_(j) {}
  void AddLogLine(const std::string& line) override {
    j_.log.push_back(line);
    j_.events.push_back("log");
  }
  void SetCrcStatusText(const std::string& t) override { status2 = t; }
  int RowCount() override { return static_cast<int>(rows.size()); }
  void SetRowCount(int n) override { rows.resize(n, std::vector<std::string>(kRegisterColumns)); }
  void SetCell(int col, int row, const std::string& t) override { rows.at(row).at(col) = t; }
  std::string TimeOfDay() override { return "12:34:56"; }
  void SetModbusTimerInterval(int ms) override { modbus.setInterval(ms, now); }
  void SetModbusTimerEnabled(bool on) override { modbus.setEnabled(on, now); }
  void SetAutoTimerInterval(int ms) override { autoTimer.setInterval(ms, now); }
  void SetAutoTimerEnabled(bool on) override { autoTimer.setEnabled(on, now); }

  struct Timer {
    bool enabled = false;
    int interval = 1000;
    long due = 0;
    void setEnabled(bool on, long now) {
      if (on && !enabled) due = now + interval;
      enabled = on;
    }
    void setInterval(int ms, long now) {
      if (ms == interval) return;
      interval = ms;
      if (enabled) due = now + interval;
    }
  };

  std::vector<std::vector<std::string>> rows{std::vector<std::string>(kRegisterColumns),
                                             std::vector<std::string>(kRegisterColumns)};
  std::string status2;
  Timer modbus;
  Timer autoTimer;
  long now = 0;

 private:
  Journal& j_;
};

}  // namespace ostrel::modbus::testing
