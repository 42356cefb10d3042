// The pure part of a read-out: the end of the reply wait turning a 125-register reply
// into table rows, against the wire time of the same reply; and the memory of 3,600
// automatic read-outs. Prints ratios measured in this run.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "modbus/crc.h"
#include "modbus/readout.h"
#include "testing/ModbusDoubles.h"

namespace {

using namespace ostrel::modbus;
using Clock = std::chrono::steady_clock;

using ostrel::doubles::NullLink;

// An in-memory register table like the window's grid; log lines are counted, not kept.
class TableView : public ReadoutView {
 public:
  void AddLogLine(const std::string& l) override { logBytes += l.size(); }
  void SetCrcStatusText(const std::string&) override {}
  int RowCount() override { return static_cast<int>(rows.size()); }
  void SetRowCount(int n) override { rows.resize(n, std::vector<std::string>(kRegisterColumns)); }
  void SetCell(int col, int row, const std::string& t) override { rows[row][col] = t; }
  std::string TimeOfDay() override { return "12:34:56"; }
  void SetModbusTimerInterval(int) override {}
  void SetModbusTimerEnabled(bool) override {}
  void SetAutoTimerInterval(int) override {}
  void SetAutoTimerEnabled(bool) override {}

  std::vector<std::vector<std::string>> rows =
      std::vector<std::vector<std::string>>(2, std::vector<std::string>(kRegisterColumns));
  size_t logBytes = 0;
};

std::string reply125() {
  std::string b{'\x01', '\x04', static_cast<char>(250)};
  for (int k = 0; k < 125; ++k) {
    b.push_back(static_cast<char>(0xC0 + (k & 0x3C)));
    b.push_back(static_cast<char>(k));
  }
  const CrcBytes c = ModbusCrc(b);
  b.push_back(static_cast<char>(c.low));
  b.push_back(static_cast<char>(c.high));
  return b;
}

long rssKiB() {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

}  // namespace

int main() {
  const std::string reply = reply125();
  const ReadControls read{true, "1", "125", 1, 600};

  // End of wait to filled table, with the table cleared first as the automatic read-out does.
  NullLink link;
  TableView view;
  ModbusMaster m(link, view);
  const int rounds = 2000;
  const auto t0 = Clock::now();
  for (int i = 0; i < rounds; ++i) {
    m.ReadRegisters(read);
    m.CollectReply(reply);
    m.ReplyWaitEnded(true, "1");
  }
  const double perReadoutUs = std::chrono::duration<double, std::micro>(Clock::now() - t0).count() / rounds;
  if (view.RowCount() != 127) {
    std::printf("unexpected row count %d\n", view.RowCount());
    return 1;
  }
  const double wireUs9600 = reply.size() * 11 / 9600.0 * 1e6;
  const double wireUs115200 = reply.size() * 11 / 115200.0 * 1e6;
  std::printf("end of wait to 125 filled rows: %.1f us per read-out\n", perReadoutUs);
  std::printf("  ratio to the reply's wire time at 9600 baud:   %.5f (%.0f us)\n", perReadoutUs / wireUs9600,
              wireUs9600);
  std::printf("  ratio to the reply's wire time at 115200 baud: %.5f (%.0f us)\n", perReadoutUs / wireUs115200,
              wireUs115200);

  // Memory over 3,600 automatic read-outs (one hour at one per second).
  NullLink link2;
  TableView view2;
  ModbusMaster m2(link2, view2);
  long rssAt100 = 0;
  for (int i = 1; i <= 3600; ++i) {
    m2.AutomaticReadout(read);
    m2.CollectReply(reply);
    m2.ReplyWaitEnded(true, "1");
    if (i == 100) rssAt100 = rssKiB();
  }
  const long rssAt3600 = rssKiB();
  std::printf("3600 automatic read-outs: RSS %ld KiB after 100, %ld KiB after 3600 (growth %.3f KiB per cycle);\n",
              rssAt100, rssAt3600, (rssAt3600 - rssAt100) / 3500.0);
  std::printf("  log text the window would keep: %.1f KiB per cycle (not held here)\n",
              view2.logBytes / 3600.0 / 1024.0);
  return 0;
}
