// Full scan of a simulated panel with two loops of 250 devices each, replies
// instant, through the real window (offscreen) and the real serial component:
// total time and requests per second against the ideal of one 5 ms tick per
// request, and against the same scan driven without the window (the panel
// library over a raw pseudo-terminal) in the same run.
// Usage: bench_app_scan [devices per loop (250)]
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "Application.h"
#include "Dialogs.h"
#include "PanelWindowView.h"
#include "ScanPage.h"
#include "SerialLinkBox.h"
#include "TForm1.h"
#include "panel/PanelScan.h"
#include "tests/app/find_control.h"
#include "tests/panel/sim_driver.h"

using namespace ostrel;
using namespace ostrel::panel::testing;

namespace {

struct Result {
  double seconds = 0;
  uint64_t requests = 0;
  int rows = 0;
  long ticks = 0;
};

// Runs the event loop until `done`; it sleeps until the next event (a tick,
// a port hand-over), as the program's own loop does, rather than spinning
// beside the simulator. Only for waits that events keep waking.
void runUntil(const std::function<bool()>& done) {
  while (!done()) QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

Result windowScan(const std::string& n) {
  QTemporaryDir home, map;
  qputenv("OSTREL_HOME", home.path().toLocal8Bit());
  qputenv("OSTREL_DEVICE_DIR", map.path().toLocal8Bit());
  Simulator sim({"--devices", n + "," + n, "--link-dir", map.path().toStdString()});
  for (int i = 0; !QFileInfo(map.path() + "/COM1").isSymLink(); ++i) {
    if (i == 500) {
      std::fprintf(stderr, "the simulator made no COM1 link\n");
      std::exit(1);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ScriptedDialogs dialogs;
  auto form = std::make_unique<TForm1>(&dialogs, home.path() + "/ostrel.ini");
  Child<QComboBox>(form, "Combo_com_name")->setEditText("COM1");
  Child<QPushButton>(form, "Butt_open_port")->click();
  if (!form->panelLinkBox().isOpen()) {
    std::fprintf(stderr, "cannot connect to the simulated panel\n");
    std::exit(1);
  }
  Result r;
  auto* scanTimer = Child<ostrel::TTimer>(form, "Timer_free_command");
  QObject::connect(scanTimer, &TTimer::Timer, [&r] { ++r.ticks; });
  const uint64_t before = form->scanPage().scan().requestsSent();
  const auto t0 = std::chrono::steady_clock::now();
  Child<QPushButton>(form, "BitBtn1")->click();
  runUntil([&] { return !scanTimer->Enabled(); });
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  r.requests = form->scanPage().scan().requestsSent() - before;
  r.rows = Child<ostrel::TStringGrid>(form, "GridDevices")->RowCount() - 2;
  return r;
}

Result libraryScan(const std::string& n) {
  Simulator sim({"--devices", n + "," + n});
  PtyView view(sim.path());
  panel::PanelScan scan(view);
  Result r;
  const auto t0 = std::chrono::steady_clock::now();
  scan.StartScan();
  r.ticks = RunScan(scan, view, std::chrono::seconds(600));
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  r.requests = scan.requestsSent();
  r.rows = static_cast<int>(view.deviceRows.size());
  return r;
}

void print(const char* what, const Result& r) {
  const double ideal = r.requests * 0.005;
  std::printf(
      "%s: %llu requests, %d device rows, %.3f s, %.1f requests/s, %.2f ticks/request,"
      " time / ideal (%.3f s): %.3f\n",
      what, static_cast<unsigned long long>(r.requests), r.rows, r.seconds, r.requests / r.seconds,
      static_cast<double>(r.ticks) / r.requests, ideal, r.seconds / ideal);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  if (!std::getenv("OSTREL_SOURCE_DIR")) setenv("OSTREL_SOURCE_DIR", OSTREL_SOURCE_DIR_DEFAULT, 1);
  Application app(argc, argv);
  // The window makes its program folder the current one; the simulator of
  // the second run must not start in that folder once it is gone.
  const QString cwd = QDir::currentPath();
  const std::string n = argc > 1 ? argv[1] : "250";
  const Result w = windowScan(n);
  QDir::setCurrent(cwd);
  const Result l = libraryScan(n);
  std::printf("full scan, %s+%s devices, instant replies\n", n.c_str(), n.c_str());
  print("  window + serial component", w);
  print("  panel library alone      ", l);
  std::printf("  window path / library path: %.3f\n", w.seconds / l.seconds);
  return 0;
}
