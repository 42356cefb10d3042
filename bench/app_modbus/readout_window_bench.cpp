// The window's register read-out, offscreen:
//  1. the time from the end of the reply wait to a filled and painted table for a
//     125-register reply, against the wire time of that reply at 19200 baud;
//  2. the resident memory over 3,600 automatic read-outs (end of wait with
//     "Automatic readout in:" checked, then the next automatic tick), set against
//     the log pane's own growth.
// Run: build/bench/app_modbus/app_modbus_bench
#include <unistd.h>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "Application.h"
#include "Dialogs.h"
#include "LogPane.h"
#include "ModbusPage.h"
#include "SerialLinkBox.h"
#include "TForm1.h"
#include "modbus/crc.h"
#include "modbus/readout.h"
#include "tests/app/find_control.h"

namespace {

std::string reply125() {
  std::string r{'\x01', '\x04', static_cast<char>(250)};
  for (int i = 0; i < 125; ++i) {
    r += static_cast<char>(i % 8 == 0 ? 0xC0 : i % 8 == 3 ? 0x08 : 0x20);
    r += static_cast<char>((3 * i + 1) & 0xFF);
  }
  const auto crc = ostrel::modbus::ModbusCrc(r);
  r += static_cast<char>(crc.low);
  r += static_cast<char>(crc.high);
  return r;
}

long rssKiB() {
  std::ifstream f("/proc/self/statm");
  long size = 0, resident = 0;
  f >> size >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir dir;
  qputenv("OSTREL_HOME", dir.path().toLocal8Bit());
  ostrel::Application app(argc, argv);
  ostrel::ScriptedDialogs dialogs;
  ostrel::TForm1 form(&dialogs, dir.path() + "/ostrel.ini");
  form.resize(1000, 800);
  form.show();
  QApplication::processEvents();
  const std::string reply = reply125();
  auto* grid = Child<ostrel::TStringGrid>(form, "gridInputRegisters");
  auto* pane = Child<QPlainTextEdit>(form, "Memo_current");
  auto* replyWait = Child<ostrel::TTimer>(form, "Timer_modbus");

  // 1. End of the wait to a painted table, median of 50 runs.
  std::vector<double> ms;
  // The port stays closed but counts as connected, so "Read registers" runs its
  // whole path (buffer emptied, request built, logged and handed to the closed
  // port, with its pauses).
  form.modbusLinkBox().adoptOpenPort();
  for (int i = 0; i < 50; ++i) {
    form.modbusPage().BitBtn4Click();
    form.modbusPage().BitBtn3Click();
    replyWait->setEnabled(false);
    QApplication::processEvents();
    form.modbusPage().modbusMaster().CollectReply(reply);
    QElapsedTimer t;
    t.start();
    form.modbusPage().Timer_modbusTimer();
    grid->viewport()->repaint();
    ms.push_back(t.nsecsElapsed() / 1e6);
    if (grid->RowCount() != 127) {
      std::fprintf(stderr, "table not filled: %d rows\n%s\n", grid->RowCount(),
                   pane->toPlainText().toStdString().c_str());
      return 1;
    }
  }
  std::sort(ms.begin(), ms.end());
  const double wireMs = reply.size() * 10 * 1000.0 / 19200;
  std::printf(
      "fill+paint of a 125-register reply: median %.2f ms, max %.2f ms; wire time at 19200 baud %.1f ms; "
      "ratio %.3f\n",
      ms[ms.size() / 2], ms.back(), wireMs, ms[ms.size() / 2] / wireMs);

  // 2. Memory over many automatic read-outs: each tick runs "Read registers" as
  // above, each end of wait clears and refills the table from the same reply.
  const int cycles = argc > 1 ? std::max(200, std::atoi(argv[1])) : 3600;
  Child<QCheckBox>(form, "CheckBox1")->setChecked(true);
  Child<ostrel::TTimer>(form, "Timer_auto")->setEnabled(false);  // ticks are driven by hand below
  auto cycle = [&] {
    form.modbusPage().Timer_autoTimer();
    replyWait->setEnabled(false);
    form.modbusPage().modbusMaster().CollectReply(reply);
    form.modbusPage().Timer_modbusTimer();
    QApplication::processEvents();
  };
  for (int i = 0; i < 100; ++i) cycle();
  const long base = rssKiB();
  const qsizetype logBase = pane->document()->characterCount();
  long mid = 0;
  for (int i = 1; i <= cycles; ++i) {
    cycle();
    if (i == cycles / 2) mid = rssKiB();
  }
  const long end = rssKiB();
  if (grid->RowCount() != 127) {
    std::fprintf(stderr, "table not refilled\n");
    return 1;
  }
  const double logChars = double(pane->document()->characterCount() - logBase) / cycles;
  std::printf("%d automatic read-outs: RSS %ld KiB after 100 warm-up cycles, %ld KiB at half, %ld KiB at the end\n",
              cycles, base, mid, end);
  std::printf("growth %.0f bytes per cycle, while the log pane grows by %.0f characters per cycle\n",
              (end - base) * 1024.0 / cycles, logChars);
  // The same cycles with the log emptied after each: what is left is the rest's cost.
  const int cleared = cycles / 6;
  form.logPane().ClearLog();
  const long base2 = rssKiB();
  for (int i = 0; i < cleared; ++i) {
    cycle();
    form.logPane().ClearLog();
  }
  std::printf("with the log emptied every cycle: %.1f bytes per cycle over %d cycles\n",
              (rssKiB() - base2) * 1024.0 / cleared, cleared);
  return 0;
}
