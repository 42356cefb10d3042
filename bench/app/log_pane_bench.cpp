// Appends 200,000 traffic lines of a 255-byte hex dump (771 characters each)
// to the log pane and compares the time per 1,000 lines at the end with the
// time at the start; also prints the memory each line costs.
//
//   build/bench/app/log_pane_bench [lines]
#include <QCoreApplication>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "Application.h"
#include "Dialogs.h"
#include "TForm1.h"
#include "common/hexdump.h"

namespace {

// Resident set size in KiB, from /proc/self/status.
long rssKiB() {
  std::ifstream f("/proc/self/status");
  std::string key;
  while (f >> key) {
    if (key == "VmRSS:") {
      long kib = 0;
      f >> kib;
      return kib;
    }
    f.ignore(1 << 12, '\n');
  }
  return 0;
}

double averageMs(const std::vector<double>& v, size_t from, size_t count) {
  double sum = 0;
  for (size_t i = from; i < from + count; ++i) sum += v[i];
  return sum / static_cast<double>(count);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir home;
  qputenv("OSTREL_HOME", home.path().toLocal8Bit());
  ostrel::Application app(argc, argv);
  const long total = argc > 1 ? std::max(10000L, std::atol(argv[1])) : 200000L;
  const long block = 1000;

  std::string bytes;
  for (int i = 0; i < 255; ++i) bytes += static_cast<char>(i);
  const QString line = QString::fromStdString(ostrel::hexLine("QVFP: ", bytes));

  ostrel::ScriptedDialogs dialogs;
  ostrel::TForm1 form(&dialogs, home.path() + "/ostrel.ini");
  form.resize(1000, 700);
  form.show();
  QCoreApplication::processEvents();

  const long rss0 = rssKiB();
  std::vector<double> blockMs;
  for (long done = 0; done < total; done += block) {
    const auto t0 = std::chrono::steady_clock::now();
    for (long i = 0; i < block; ++i) form.AddLogLine(line);
    QCoreApplication::processEvents();  // the window repaints, as between port events
    blockMs.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  const long rss1 = rssKiB();

  const size_t n = 5;  // blocks averaged at each end
  const double start = averageMs(blockMs, 0, n);
  const double end = averageMs(blockMs, blockMs.size() - n, n);
  std::printf("log pane: %ld lines of %lld characters\n", total, static_cast<long long>(line.size()));
  std::printf("  time per 1,000 lines at the start: %.1f ms, at the end: %.1f ms, ratio end/start: %.2f (bound 1.5)\n",
              start, end, end / start);
  std::printf("  memory: %.0f bytes per line (RSS growth %.1f MiB)\n",
              (rss1 - rss0) * 1024.0 / static_cast<double>(total), (rss1 - rss0) / 1024.0);
  return end / start <= 1.5 ? 0 : 1;
}
