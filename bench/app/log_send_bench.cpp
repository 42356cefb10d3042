// Clicks the custom command's "Send" on the real window (offscreen) with the panel port closed,
// so each click appends the 25-character line "Serial port is not opened" through the window's
// own path, and reports the memory each line costs and the time per 1,000 clicks at the end
// against the start.
//
//   build/bench/app/log_send_bench [clicks]
//
// clicks: how many lines to append (default 18,000).
#include <QCoreApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "Application.h"
#include "Dialogs.h"
#include "SerialLinkBox.h"
#include "TForm1.h"
#include "rss.h"

namespace {

// Clicks "Send" n times, the window repainting after each; returns the milliseconds taken.
double clickSend(ostrel::TForm1& form, long n) {
  auto* send = form.findChild<QPushButton*>(QStringLiteral("Butt_command_send"));
  const auto t0 = std::chrono::steady_clock::now();
  for (long i = 0; i < n; ++i) {
    send->click();
    QCoreApplication::processEvents();
  }
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir home;
  qputenv("OSTREL_HOME", home.path().toLocal8Bit());
  ostrel::Application app(argc, argv);
  const long total = argc > 1 ? std::max(2000L, std::atol(argv[1])) : 18000L;
  constexpr long kBlock = 1000;

  ostrel::ScriptedDialogs dialogs;
  ostrel::TForm1 form(&dialogs, home.path() + "/ostrel.ini");
  form.resize(1000, 700);
  form.show();
  QCoreApplication::processEvents();
  if (form.panelLinkBox().isOpen()) {
    std::fprintf(stderr, "the panel port opened at start: each click would send, not log\n");
    return 1;
  }

  const long rss0 = rssKiB();
  const double firstMs = clickSend(form, kBlock);
  const double middleMs = clickSend(form, total - 2 * kBlock);
  const double lastMs = clickSend(form, kBlock);
  const double perLine = (rssKiB() - rss0) * 1024.0 / static_cast<double>(total);
  std::printf("log pane through \"Send\": %ld lines of 25 characters\n", total);
  std::printf(
      "  bytes per line %.0f; ms per 1,000 clicks: first %.1f, last %.1f (%.2f against the first); %.0f s in all\n",
      perLine, firstMs, lastMs, lastMs / firstMs, (firstMs + middleMs + lastMs) / 1000.0);
  return 0;
}
