// The window's CSV buttons and menu items: which grid goes to which file,
// the dialogs' presets, the staging text, the message boxes and the table's
// state afterwards. The file format itself is tested with the core library.
#include "CsvFiles.h"
#include "csv_window_fixture.h"
#include "tests/app/find_control.h"

namespace {

TEST_F(CsvWindowTest, SaveWritesTheDataRowsOfTheDeviceTable) {
  QStringList first = numbered("a", 11);
  first[2] = QString::fromUtf8(kDatchikUtf8);
  QStringList second = numbered("b", 11);
  second[5] = "x;y";
  QStringList third = numbered("c", 11);
  third[10] = "";
  for (const QStringList& cells : {first, second, third}) addRow(devices, cells);
  ASSERT_EQ(devices->RowCount(), 5);
  const QString logBefore = Child<QPlainTextEdit>(form, "Memo_current")->toPlainText();

  dialogs.files = {at("meters")};
  Child<QPushButton>(form, "Butt_save_data")->click();

  const QString date = QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
  const auto* dlg = dialogs.last(Kind::SaveFile);
  ASSERT_TRUE(dlg);
  EXPECT_EQ(dlg->dir, form->csvFiles().dataDir());
  EXPECT_EQ(dlg->text, QString::fromStdString(SuggestedDeviceFileName(date.toStdString())));
  EXPECT_EQ(dlg->filter, "CSV files (*.csv)");
  EXPECT_EQ(dlg->defaultSuffix, "csv");
  const QString suggested = dlg->text;        // dlg does not outlive the next dialog
  EXPECT_FALSE(QFile::exists(at("meters")));  // the typed name got ".csv"
  const QByteArray expected = "a0;a1;" + QByteArray(kDatchik1251) +
                              ";a3;a4;a5;a6;a7;a8;a9;a10;\r\n"
                              "b0;b1;b2;b3;b4;x;y;b6;b7;b8;b9;b10;\r\n"
                              "c0;c1;c2;c3;c4;c5;c6;c7;c8;c9;;\r\n";
  EXPECT_EQ(read(at("meters.csv")), expected);
  EXPECT_EQ(Child<QPlainTextEdit>(form, "Memo_export")->toPlainText().split('\n'),
            QStringList({first.join(';') + ';', second.join(';') + ';', third.join(';') + ';'}));
  EXPECT_EQ(messages(), 0);
  EXPECT_EQ(Child<QPlainTextEdit>(form, "Memo_current")->toPlainText(), logBefore);
  EXPECT_EQ(devices->RowCount(), 5);

  // The menu item does the same; the dialog's preset name is set again.
  dialogs.files = {at("menu.csv")};
  Child<QAction>(form, "Save1")->trigger();
  EXPECT_EQ(dialogs.last(Kind::SaveFile)->text, suggested);
  EXPECT_EQ(read(at("menu.csv")), expected);
}

TEST_F(CsvWindowTest, ExportWritesTheRegisterTableUnderItsOwnName) {
  addRow(Child<ostrel::TStringGrid>(form, "gridInputRegisters"), numbered("r", 6));
  addRow(Child<ostrel::TStringGrid>(form, "gridInputRegisters"), {"1", "", "ON", "", "", "12:00:00"});
  addRow(devices, numbered("d", 11));
  const QString dataDir = form->csvFiles().dataDir();
  const QString elsewhere = home.path() + "/regs.csv";  // the user left the data folder
  dialogs.files = {elsewhere, elsewhere};
  Child<QPushButton>(form, "BitBtn8")->click();
  EXPECT_EQ(dialogs.last(Kind::SaveFile)->text, "modbusUR.csv");
  EXPECT_EQ(dialogs.last(Kind::SaveFile)->dir, dataDir);
  EXPECT_EQ(read(elsewhere), "r0;r1;r2;r3;r4;r5;\r\n1;;ON;;;12:00:00;\r\n");
  EXPECT_EQ(messages(), 0);
  Child<QPushButton>(form, "BitBtn8")->click();  // the next dialog starts in the data folder again
  EXPECT_EQ(form->csvFiles().dataDir(), dataDir);
  EXPECT_EQ(dialogs.last(Kind::SaveFile)->dir, dataDir);
}

TEST_F(CsvWindowTest, ClearTableThenSaveReplacesTheOldFileWithZeroBytes) {
  write(at("meters.csv"), "old content of some length;\r\n");
  for (int i = 0; i < 3; ++i) addRow(devices, numbered("v", 11));
  const QString header1 = devices->Cells(1, 0);

  Child<QPushButton>(form, "Butt_clear_grid")->click();
  EXPECT_EQ(devices->RowCount(), 2);
  EXPECT_EQ(row(devices, 1), QStringList(11, QString()));
  EXPECT_EQ(devices->Cells(1, 0), header1);
  addRow(devices, numbered("n", 11));  // a new row starts empty past what it sets
  EXPECT_EQ(devices->Cells(3, 2), "");

  Child<QPushButton>(form, "Butt_clear_grid")->click();
  dialogs.files = {at("meters.csv")};
  Child<QPushButton>(form, "Butt_save_data")->click();
  EXPECT_EQ(read(at("meters.csv")), QByteArray(""));  // replaced without a question
  EXPECT_TRUE(Child<QPlainTextEdit>(form, "Memo_export")->toPlainText().isEmpty());
  EXPECT_EQ(messages(), 0);
}

TEST_F(CsvWindowTest, CancelledOrFailingSaveDialogWritesNothing) {
  write(at("meters.csv"), "kept;\r\n");
  addRow(devices, numbered("v", 11));
  Child<QPushButton>(form, "Butt_save_data")->click();  // no file scripted: the user cancels
  EXPECT_EQ(dialogs.count(Kind::SaveFile), 1);
  EXPECT_EQ(QDir(form->csvFiles().dataDir()).entryList(QDir::Files), QStringList({"meters.csv"}));
  EXPECT_EQ(messages(), 0);

  dialogs.saveDialogFails = true;
  dialogs.files = {at("meters.csv")};
  Child<QPushButton>(form, "BitBtn8")->click();
  const auto* msg = dialogs.last(Kind::Message);
  ASSERT_TRUE(msg);
  EXPECT_EQ(msg->caption, "Error saving file");
  EXPECT_EQ(msg->text, "File cannot be written or open!\nContact administrator.");
  EXPECT_EQ(msg->icon, QMessageBox::Critical);
  EXPECT_EQ(msg->buttons, QMessageBox::Ok);
  EXPECT_EQ(read(at("meters.csv")), "kept;\r\n");
}

TEST_F(CsvWindowTest, FailedWriteShowsNoRightsAndKeepsTheExistingFile) {
  for (int i = 0; i < 300; ++i) addRow(devices, numbered("field", 11));
  ASSERT_TRUE(QDir(form->csvFiles().dataDir()).mkdir("taken.csv"));
  dialogs.files = {at("taken.csv"), at("missing/meters.csv")};
  Child<QPushButton>(form, "Butt_save_data")->click();
  Child<QPushButton>(form, "Butt_save_data")->click();
  ASSERT_EQ(messages(), 2);
  for (const auto& s : dialogs.shown) {
    if (s.kind != Kind::Message) continue;
    EXPECT_EQ(s.caption, "Error saving file");
    EXPECT_EQ(s.text, "File cannot be written, no rights!\nContact administrator.");
    EXPECT_EQ(s.icon, QMessageBox::Critical);
  }
  EXPECT_TRUE(QFileInfo(at("taken.csv")).isDir());
  EXPECT_FALSE(QFileInfo::exists(at("missing")));
}

TEST_F(CsvWindowTest, LoadClearsTheTableAndFillsItFromRowOne) {
  for (int i = 0; i < 4; ++i) addRow(devices, numbered("old", 11));
  const QString header0 = devices->Cells(0, 0);
  const QByteArray sixty(60, 'L');
  write(at("in.csv"),
        "ID;Type;Zone;\r\n"
        "a;b;c;\r\n"
        "a;b;c;d\n"
        "a;b;c\r" +
            sixty + ";\r\n" + kDatchik1251 + ";;z;");
  dialogs.files = {at("in.csv")};
  Child<QPushButton>(form, "Butt_load_data")->click();

  const auto* dlg = dialogs.last(Kind::OpenFile);
  ASSERT_TRUE(dlg);
  EXPECT_EQ(dlg->dir, form->csvFiles().dataDir());
  EXPECT_EQ(dlg->filter, "CSV (*.csv)");
  EXPECT_EQ(messages(), 0);
  ASSERT_EQ(devices->RowCount(), 8);  // 6 lines, the header row and the spare row
  auto padded = [](QStringList cells) {
    while (cells.size() < 11) cells << QString();
    return cells;
  };
  EXPECT_EQ(devices->Cells(0, 0), header0);
  EXPECT_EQ(row(devices, 1), padded({"ID", "Type", "Zone"}));
  EXPECT_EQ(row(devices, 2), padded({"a", "b", "c"}));
  EXPECT_EQ(row(devices, 3), padded({"a", "b", "c"}));
  EXPECT_EQ(row(devices, 4), padded({"a", "b"}));
  EXPECT_EQ(row(devices, 5), padded({QString(50, 'L')}));
  EXPECT_EQ(row(devices, 6), padded({QString::fromUtf8(kDatchikUtf8), "", "z"}));
  EXPECT_EQ(row(devices, 7), padded({}));
  const QStringList staged = Child<QPlainTextEdit>(form, "Memo_export")->toPlainText().split('\n');
  ASSERT_EQ(staged.size(), 6);
  EXPECT_EQ(staged[2], "a;b;c;d");
  EXPECT_EQ(staged[5], QString::fromUtf8(kDatchikUtf8) + ";;z;");
}

TEST_F(CsvWindowTest, ASavedSemicolonMakesTooManyFieldsAndKeepsTheEarlierRows) {
  QStringList shifted = numbered("s", 11);
  shifted[4] = "x;y";
  addRow(devices, numbered("a", 11));
  addRow(devices, shifted);
  addRow(devices, numbered("c", 11));
  dialogs.files = {at("semi.csv"), at("semi.csv")};
  Child<QPushButton>(form, "Butt_save_data")->click();
  Child<QPushButton>(form, "Butt_clear_grid")->click();
  Child<QAction>(form, "Open1")->trigger();

  ASSERT_EQ(messages(), 1);
  const auto* msg = dialogs.last(Kind::Message);
  EXPECT_EQ(msg->caption, "Ostrel");
  EXPECT_EQ(msg->text, "You are trying to import too many data!!!\nCorrect csv file and try again!");
  EXPECT_EQ(msg->icon, QMessageBox::NoIcon);
  EXPECT_EQ(msg->buttons, QMessageBox::Ok);
  EXPECT_EQ(devices->RowCount(), 3);
  EXPECT_EQ(row(devices, 1), numbered("a", 11));
  EXPECT_EQ(row(devices, 2), QStringList(11, QString()));
}

TEST_F(CsvWindowTest, MissingFileClearsAndCancelledOpenChangesNothing) {
  write(at("one.csv"), "1;2;3;\r\n");
  dialogs.files = {at("one.csv")};
  Child<QPushButton>(form, "Butt_load_data")->click();
  ASSERT_EQ(devices->RowCount(), 3);
  const QString staged = Child<QPlainTextEdit>(form, "Memo_export")->toPlainText();

  Child<QPushButton>(form, "Butt_load_data")->click();  // cancelled
  EXPECT_EQ(devices->RowCount(), 3);
  EXPECT_EQ(devices->Cells(2, 1), "3");
  EXPECT_EQ(Child<QPlainTextEdit>(form, "Memo_export")->toPlainText(), staged);
  EXPECT_EQ(messages(), 0);

  dialogs.files = {at("nosuch.csv")};
  Child<QAction>(form, "Open1")->trigger();
  EXPECT_EQ(devices->RowCount(), 2);
  EXPECT_EQ(row(devices, 1), QStringList(11, QString()));
  ASSERT_EQ(messages(), 1);
  const auto* msg = dialogs.last(Kind::Message);
  EXPECT_EQ(msg->caption, "File Error");
  EXPECT_EQ(msg->text, "You chose wrong file for import!\nContact administrator!");
  EXPECT_EQ(msg->icon, QMessageBox::Warning);
}

TEST_F(CsvWindowTest, SaveClearLoadGivesBackTheSameTable) {
  const QStringList rows[] = {
      {"1", "0x1A", QString::fromUtf8("Датчик"), "", " lead", "trail ", "", "Zone 3", QString::fromUtf8("Норма"),
       QString(50, 'f'), "M"},
      QStringList(11, QString()),
      numbered("q", 11),
  };
  for (const QStringList& r : rows) addRow(devices, r);
  dialogs.files = {at("trip"), at("trip.csv")};
  Child<QPushButton>(form, "Butt_save_data")->click();
  Child<QPushButton>(form, "Butt_clear_grid")->click();
  Child<QPushButton>(form, "Butt_load_data")->click();
  EXPECT_EQ(messages(), 0);
  ASSERT_EQ(devices->RowCount(), 5);
  for (int r = 0; r < 3; ++r) EXPECT_EQ(row(devices, r + 1), rows[r]) << "row " << r + 1;
  EXPECT_EQ(row(devices, 4), QStringList(11, QString()));
}

}  // namespace

TEST_F(CsvWindowTest, OnlyRegularFilesLoadAndAHugeFileStopsAtTheLimits) {
  // A folder and a device (NUL on Windows, /dev/null on Linux): each is a wrong file, told at
  // once. A FIFO and an endless device are Linux's cases.
  ASSERT_TRUE(QDir(home.path()).mkdir("data/folder.csv"));
  for (const QString& path : {at("folder.csv"), QString::fromLatin1(kNullDevice)}) {
    SCOPED_TRACE(path.toStdString());
    addRow(devices, numbered("old", 11));
    dialogs.shown.clear();
    dialogs.files = {path};
    Child<QPushButton>(form, "Butt_load_data")->click();
    ASSERT_EQ(messages(), 1);
    EXPECT_EQ(dialogs.last(Kind::Message)->text, "You chose wrong file for import!\nContact administrator!");
    EXPECT_EQ(devices->RowCount(), 2);
  }

  // 50 MB in one line (a sparse file: no disk is used): the line runs past
  // all the table could take, so nothing of it loads.
  const QString oneLine = at("oneline.csv");
  write(oneLine, "a;b;");
  ASSERT_TRUE(QFile::resize(oneLine, 50 << 20));
  dialogs.shown.clear();
  dialogs.files = {oneLine};
  Child<QPushButton>(form, "Butt_load_data")->click();
  ASSERT_EQ(messages(), 1);
  EXPECT_EQ(dialogs.last(Kind::Message)->text,
            "You are trying to import too many data!!!\nCorrect csv file and try again!");
  EXPECT_EQ(devices->RowCount(), 2);
  EXPECT_TRUE(Child<QPlainTextEdit>(form, "Memo_export")->toPlainText().isEmpty());

  // Empty lines without end: the rows up to the limit load, then the message.
  write(at("empty.csv"), QByteArray(20000, '\n'));
  dialogs.shown.clear();
  dialogs.files = {at("empty.csv")};
  Child<QAction>(form, "Open1")->trigger();
  ASSERT_EQ(messages(), 1);
  EXPECT_EQ(dialogs.last(Kind::Message)->text,
            "You are trying to import too many data!!!\nCorrect csv file and try again!");
  EXPECT_EQ(devices->RowCount(), 4096 + 2);
}
