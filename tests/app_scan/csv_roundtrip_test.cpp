// The device table of a real scan survives "Save", "Clear table" and "Load"
// through the window's buttons and dialogs.
#include <QDir>
#include <QFile>

#include "scan_fixture.h"
#include "tests/app/find_control.h"

TEST_F(ScanWindowTest, ScannedDevicesRoundTripThroughACsvFile) {
  startPanel({});
  connectPanel();
  scan();
  ostrel::TStringGrid* grid = Child<ostrel::TStringGrid>(form, "GridDevices");
  const int rows = grid->RowCount();
  ASSERT_EQ(rows, 8);  // header, six devices, the spare row
  std::vector<QStringList> before;
  for (int r = 0; r < rows; ++r) before.push_back(row(grid, r));

  const QString path = home.path() + "/devices.csv";
  dialogs.files.push_back(path);
  Child<QPushButton>(form, "Butt_save_data")->click();
  ASSERT_TRUE(QFile::exists(path));
  // Six lines of eleven fields; the Cyrillic cells as Windows-1251 bytes.
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray bytes = f.readAll();
  EXPECT_EQ(bytes.count("\r\n"), 6);
  EXPECT_EQ(bytes.count(';'), 66);
  EXPECT_TRUE(bytes.contains("\xC5\xF1\xF2\xFC \xE2\xE5\xF2\xE2\xE8"));  // "Есть ветви"

  Child<QPushButton>(form, "Butt_clear_grid")->click();
  ASSERT_EQ(grid->RowCount(), 2);
  EXPECT_EQ(row(grid, 1).join(""), "");

  dialogs.files.push_back(path);
  Child<QPushButton>(form, "Butt_load_data")->click();
  ASSERT_EQ(grid->RowCount(), rows);
  for (int r = 0; r < rows; ++r) EXPECT_EQ(row(grid, r), before[r]) << "row " << r;
  EXPECT_EQ(dialogs.count(ostrel::ScriptedDialogs::Kind::Message), 0);
}
