#pragma once
// A main window whose data folder is a temporary folder, with scripted dialogs, for the CSV
// buttons and menu items.
#include <gtest/gtest.h>

#include <QAction>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <memory>
#include <stdexcept>

#include "CsvFiles.h"
#include "Dialogs.h"
#include "TForm1.h"
#include "core/FileNames.h"
#include "tests/app/find_control.h"

using namespace ostrel;
using Kind = ScriptedDialogs::Kind;

namespace {

// The system's device that swallows what is written and reads as empty.
#ifdef _WIN32
const char kNullDevice[] = "NUL";
#else
const char kNullDevice[] = "/dev/null";
#endif

// Scripted dialogs whose save dialog can be made to fail to open.
class TestDialogs : public ScriptedDialogs {
 public:
  bool saveDialogFails = false;
  QString saveFile(const QString& dir, const QString& suggested, const QString& filter, const QString& ext) override {
    if (saveDialogFails) throw std::runtime_error("no display");
    return ScriptedDialogs::saveFile(dir, suggested, filter, ext);
  }
};

const char kDatchikUtf8[] = "Датчик";
const char kDatchik1251[] = "\xC4\xE0\xF2\xF7\xE8\xEA";

class CsvWindowTest : public ::testing::Test {
 protected:
  QTemporaryDir home;
  TestDialogs dialogs;
  std::unique_ptr<TForm1> form;
  TStringGrid* devices = nullptr;

  void SetUp() override {
    qputenv("OSTREL_HOME", home.path().toLocal8Bit());
    form = std::make_unique<TForm1>(&dialogs, home.path() + "/ostrel.ini");
    ASSERT_TRUE(QDir(home.path()).mkdir("data"));
    form->csvFiles().setDataDir(home.path() + "/data/");
    devices = Child<ostrel::TStringGrid>(form, "GridDevices");
    dialogs.shown.clear();
  }

  QString at(const QString& name) const { return form->csvFiles().dataDir() + name; }
  static QByteArray read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
  }
  static void write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
  }
  // Adds a row the way the decoders do: into the bottom row, then a new spare row.
  static void addRow(TStringGrid* grid, const QStringList& cells) {
    const int r = grid->RowCount() - 1;
    for (int c = 0; c < cells.size(); ++c) grid->setCells(c, r, cells[c]);
    grid->setRowCount(r + 2);
  }
  static QStringList row(const TStringGrid* grid, int r) {
    QStringList cells;
    for (int c = 0; c < grid->ColCount(); ++c) cells << grid->Cells(c, r);
    return cells;
  }
  static QStringList numbered(const QString& prefix, int n) {
    QStringList cells;
    for (int c = 0; c < n; ++c) cells << prefix + QString::number(c);
    return cells;
  }
  int messages() const { return dialogs.count(Kind::Message); }
};

}  // namespace
