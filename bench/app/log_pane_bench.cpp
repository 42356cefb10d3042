// Appends lines to the log pane of the real window (offscreen) and reports, at 10,000, 100,000
// and 1,000,000 lines, the memory each line costs and the time per 1,000 appended lines there,
// against the time at the start.
//
// Then it saves the pane as "Save log" does and reports the time that takes and the memory it
// holds for it at its peak.
//
//   build/bench/app/log_pane_bench [lines] [characters]
//
// lines: the last checkpoint (default 1,000,000); characters: the length of each line (default
// 29, a request as the traffic log shows it; 771 is a 255-byte reply's hex dump).
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "Application.h"
#include "Dialogs.h"
#include "TForm1.h"
#include "rss.h"

namespace {

// A traffic line of the given length: "SENT:" and hex bytes, cut to size.
QString trafficLine(long characters, long serial) {
  std::string text = "SENT:";
  for (long i = 0; static_cast<long>(text.size()) < characters; ++i) {
    char byte[4];
    std::snprintf(byte, sizeof byte, "%02X ", static_cast<unsigned>((serial + i) & 0xFF));
    text += byte;
  }
  text.resize(static_cast<size_t>(characters));
  return QString::fromStdString(text);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir home;
  qputenv("OSTREL_HOME", home.path().toLocal8Bit());
  ostrel::Application app(argc, argv);
  const long total = argc > 1 ? std::max(10000L, std::atol(argv[1])) : 1000000L;
  const long characters = argc > 2 ? std::clamp(std::atol(argv[2]), 1L, 100000L) : 29L;
  constexpr long kBlock = 1000;

  ostrel::ScriptedDialogs dialogs;
  ostrel::TForm1 form(&dialogs, home.path() + "/ostrel.ini");
  form.resize(1000, 700);
  form.show();
  QCoreApplication::processEvents();

  // A few distinct lines, made before the clock starts.
  std::vector<QString> lines;
  for (long i = 0; i < 16; ++i) lines.push_back(trafficLine(characters, i));

  std::printf("log pane: %ld lines of %ld characters\n", total, characters);
  std::printf("  %10s  %14s  %18s  %12s\n", "lines", "bytes per line", "ms per 1,000 lines", "against start");
  const long rss0 = rssKiB();
  double firstMs = 0;
  long next = 10000;
  for (long done = 0; done < total;) {
    const auto t0 = std::chrono::steady_clock::now();
    for (long i = 0; i < kBlock; ++i) form.AddLogLine(lines[static_cast<size_t>((done + i) % 16)]);
    QCoreApplication::processEvents();  // the window repaints, as between port events
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    done += kBlock;
    if (done == kBlock) firstMs = ms;
    if (done == next || done == total) {
      const double perLine = (rssKiB() - rss0) * 1024.0 / static_cast<double>(done);
      std::printf("  %10ld  %14.0f  %18.1f  %12.2f\n", done, perLine, ms, ms / firstMs);
      std::fflush(stdout);
      next *= 10;
    }
  }
  // "Save log" writes files/log.txt in the program's folder.
  QDir(home.path()).mkpath(QStringLiteral("files"));
  const long before = rssKiB();
  const auto s0 = std::chrono::steady_clock::now();
  form.findChild<QPushButton*>(QStringLiteral("BitBtn6"))->click();
  const double saveMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - s0).count();
  std::printf("  Save log: %.0f ms, %ld kB more at its peak, %lld bytes written\n", saveMs, peakRssKiB() - before,
              static_cast<long long>(QFileInfo(home.path() + QStringLiteral("/files/log.txt")).size()));
  return 0;
}
