#pragma once
// A main window over a temporary program folder, with scripted dialogs.
#include <gtest/gtest.h>

#include <QFile>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

#include "Dialogs.h"
#include "TForm1.h"
#include "tests/app/find_control.h"

class FormTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  ostrel::ScriptedDialogs dialogs;
  std::unique_ptr<ostrel::TForm1> form;

  QString iniPath() const { return dir.path() + "/ostrel.ini"; }
  void writeIni(const QByteArray& bytes) {
    QFile f(iniPath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
  }
  QByteArray readIni() const {
    QFile f(iniPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  ostrel::TForm1& create() {
    qputenv("OSTREL_HOME", dir.path().toLocal8Bit());
    form = std::make_unique<ostrel::TForm1>(&dialogs, iniPath());
    return *form;
  }
  template <class T = QObject>
  T* find(const char* name) {
    T* o = form->findChild<T*>(QLatin1String(name));
    EXPECT_TRUE(o) << name;
    return o;
  }
  // The log pane's lines as it shows them.
  QStringList logLines() const {
    return Child<QPlainTextEdit>(*form, "Memo_current")->toPlainText().split(QLatin1Char('\n'));
  }
  int messages() const { return dialogs.count(ostrel::ScriptedDialogs::Kind::Message); }
};
