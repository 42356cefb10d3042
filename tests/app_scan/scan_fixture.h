#pragma once
// A main window whose COM1 is the simulated panel (tools/qvsim) on a
// pseudo-terminal, reached through a temporary device map.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "Dialogs.h"
#include "PanelWindowView.h"
#include "SerialLinkBox.h"
#include "TForm1.h"
#include "tests/app/find_control.h"
#include "tests/panel/sim_driver.h"

class ScanWindowTest : public ::testing::Test {
 protected:
  QTemporaryDir home;
  QTemporaryDir map;
  ostrel::ScriptedDialogs dialogs;
  // Declared before the window, so the window (and its port) goes first.
  std::unique_ptr<ostrel::panel::testing::Simulator> sim;
  std::unique_ptr<ostrel::TForm1> form;

  void SetUp() override { newWindow(); }

  // A fresh window (and no simulator yet); the old window goes first.
  void newWindow() {
    form.reset();
    sim.reset();
    dialogs.shown.clear();
    qputenv("OSTREL_HOME", home.path().toLocal8Bit());
    qputenv("OSTREL_DEVICE_DIR", map.path().toLocal8Bit());
    form = std::make_unique<ostrel::TForm1>(&dialogs, home.path() + "/ostrel.ini");
  }

  // Starts the simulator with these options; its COM1 link appears in the map.
  void startPanel(std::vector<std::string> options) {
    options.insert(options.end(), {"--link-dir", map.path().toStdString()});
    // A link left by an earlier simulator must not pass for the new one's.
    const QString link = map.path() + "/COM1";
    QFile::remove(link);
    sim = std::make_unique<ostrel::panel::testing::Simulator>(options);
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo(link).isSymLink(); }, 5000)) << "no COM1 link";
  }

  // "Connect to port" on COM1 with the window's own controls.
  void connectPanel() {
    Child<QComboBox>(form, "Combo_com_name")->setEditText("COM1");
    Child<QPushButton>(form, "Butt_open_port")->click();
    ASSERT_TRUE(form->panelLinkBox().isOpen()) << lines().join('\n').toStdString();
  }

  // "Scan local FP", then the event loop runs until the scan timer stops.
  void scan(int timeoutMs = 30000) {
    Child<QPushButton>(form, "BitBtn1")->click();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !Child<ostrel::TTimer>(form, "Timer_free_command")->Enabled(); }, timeoutMs))
        << "scan did not end";
  }

  QStringList lines() const { return Child<QPlainTextEdit>(form, "Memo_current")->toPlainText().split('\n'); }
  int count(const QString& line) const { return static_cast<int>(lines().count(line)); }

  // The requests logged as "SENT: " lines, each as its code and payload
  // bytes: "48 00 00 00", "41 00 01 00", ...
  QStringList requests() const {
    QStringList out;
    for (const QString& l : lines()) {
      if (!l.startsWith("SENT: ")) continue;
      const QStringList b = l.mid(6).split(' ', Qt::SkipEmptyParts);
      if (b.size() >= 11) out << QStringList{b[5], b[8], b[9], b[10]}.join(' ');
    }
    return out;
  }

  static QStringList row(const ostrel::TStringGrid* grid, int r) {
    QStringList cells;
    for (int c = 0; c < grid->ColCount(); ++c) cells << grid->Cells(c, r);
    return cells;
  }
  // Column 0 of every device data row (the spare bottom row excluded).
  QStringList deviceNames() const {
    QStringList names;
    for (int r = 1; r < Child<ostrel::TStringGrid>(form, "GridDevices")->RowCount() - 1; ++r)
      names << Child<ostrel::TStringGrid>(form, "GridDevices")->Cells(0, r);
    return names;
  }
};
