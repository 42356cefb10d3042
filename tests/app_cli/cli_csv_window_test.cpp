// The device file of a command-line scan, opened with the window's "Load":
// the window shows the rows the command line read.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTemporaryDir>
#include <memory>

#include "Dialogs.h"
#include "TForm1.h"
#include "peers.h"
#include "tests/app/find_control.h"

namespace ostrel::cli::testing {
namespace {

TEST(CliCsvInWindow, TheWindowLoadsTheScanOfTheCommandLine) {
  PanelPeer panel({});
  ASSERT_TRUE(panel.ready);
  const std::string file = panel.dir + "/site.csv";
  const Result scan = RunCli({"scan", "--port", "COM1", "-o", file, "-q"});
  ASSERT_EQ(scan.code, 0) << scan.err;

  QTemporaryDir home;
  qputenv("OSTREL_HOME", home.path().toLocal8Bit());
  ScriptedDialogs dialogs;
  TForm1 form(&dialogs, home.path() + "/ostrel.ini");
  dialogs.files.push_back(QString::fromStdString(file));
  form.findChild<QPushButton*>("Butt_load_data")->click();

  EXPECT_EQ(dialogs.count(ScriptedDialogs::Kind::Message), 0);
  TStringGrid* grid = Child<ostrel::TStringGrid>(form, "GridDevices");
  ASSERT_EQ(grid->RowCount(), 6 + 2);  // header, 6 devices, the spare row
  const QStringList first{"Loop 1, 1", "156", "1=ZR 401", "1", "2", "0", "Нет ветви", "1", "Вкл.", "00", "Input reg 1"};
  for (int c = 0; c < first.size(); ++c) EXPECT_EQ(grid->Cells(c, 1), first[c]) << c;
  EXPECT_EQ(grid->Cells(0, 6), "Loop 2, 2");
  EXPECT_EQ(grid->Cells(2, 6), "200=ZR 409");
  EXPECT_EQ(grid->Cells(8, 4), "Изкл.");
}

}  // namespace
}  // namespace ostrel::cli::testing
