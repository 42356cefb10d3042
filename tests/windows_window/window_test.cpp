// The window on Windows end to end: COM1 and COM2 typed and connected, "Scan local FP" against
// the simulated panel, "Read registers" against the Modbus slave, then File > Exit, which
// writes the settings file beside the executable. OSTREL_SCREENSHOT_DIR, when set, receives
// the window as it looks after the scan and after the read-out.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include "Application.h"
#include "Dialogs.h"
#include "ProgramFolder.h"
#include "SerialLinkBox.h"
#include "TForm1.h"
#include "TStatusBar.h"
#include "TStringGrid.h"
#include "tests/app/find_control.h"

using ostrel::Child;

namespace {

using ostrel::TForm1;

template <class T>
T* find(TForm1& w, const char* name) {
  T* o = w.findChild<T*>(QLatin1String(name));
  if (!o) ADD_FAILURE() << "no control " << name;
  return o;
}

void shoot(TForm1& w, const char* name) {
  const QString folder = qEnvironmentVariable("OSTREL_SCREENSHOT_DIR");
  if (!folder.isEmpty()) EXPECT_TRUE(w.grab().save(folder + "/" + QLatin1String(name))) << name;
}

// Types a port name into the name box as a person does: focus, select all, type.
void typePortName(TForm1& w, const char* box, const char* text) {
  auto* combo = find<QComboBox>(w, box);
  combo->setFocus();
  QTest::keyClick(combo, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(combo, QLatin1String(text));
  EXPECT_EQ(combo->currentText(), QLatin1String(text));
}

void click(TForm1& w, const char* button) { QTest::mouseClick(find<QPushButton>(w, button), Qt::LeftButton); }

QString logText(TForm1& w) { return find<QPlainTextEdit>(w, "Memo_current")->toPlainText(); }

int linesStarting(TForm1& w, const QString& prefix) {
  int n = 0;
  for (const QString& line : logText(w).split('\n')) n += line.startsWith(prefix);
  return n;
}

}  // namespace

TEST(WindowOnWindows, ConnectsScansReadsAndExitsWritingItsSettingsBesideTheExecutable) {
  const QString settings = QString::fromStdString(ostrel::SettingsFilePath());
  ASSERT_TRUE(settings.startsWith(QString::fromStdString(ostrel::ExecutableFolder()))) << settings.toStdString();
  QFile::remove(settings);

  ostrel::ScriptedDialogs dialogs;  // a message box would wait for a person: record it instead
  TForm1 w(&dialogs);
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));

  typePortName(w, "Combo_com_name", "COM1");
  click(w, "Butt_open_port");
  ASSERT_TRUE(w.panelLinkBox().isOpen()) << logText(w).toStdString();
  EXPECT_TRUE(Child<ostrel::TStatusBar>(w, "StatusBar1")->panelText(0).startsWith("COM1 - "))
      << Child<ostrel::TStatusBar>(w, "StatusBar1")->panelText(0).toStdString();

  click(w, "BitBtn1");  // "Scan local FP"
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Child<ostrel::TTimer>(w, "Timer_free_command")->Enabled(); }, 90000))
      << "the scan did not end";
  EXPECT_GT(Child<ostrel::TStringGrid>(w, "GridDevices")->RowCount(), 3) << logText(w).toStdString();
  EXPECT_GT(linesStarting(w, "QVFP: "), 3);
  find<QTabWidget>(w, "PageControl1")->setCurrentIndex(0);  // the scan's page, to be seen
  shoot(w, "scan.png");

  find<QTabWidget>(w, "PageControl1")->setCurrentIndex(1);
  typePortName(w, "Combo_com2_name", "COM2");
  click(w, "Butt_open_port2");
  ASSERT_TRUE(w.modbusLinkBox().isOpen()) << logText(w).toStdString();
  click(w, "BitBtn3");  // "Read registers"
  ASSERT_TRUE(QTest::qWaitFor([&] { return linesStarting(w, "QVMD:") >= 1; }, 20000)) << logText(w).toStdString();
  QTest::qWait(50);
  EXPECT_GT(Child<ostrel::TStringGrid>(w, "gridInputRegisters")->RowCount(), 2);
  EXPECT_EQ(dialogs.count(ostrel::ScriptedDialogs::Kind::Message), 0);
  shoot(w, "readout.png");

  find<QAction>(w, "Exit1")->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w.isVisible(); }, 5000));
  EXPECT_FALSE(w.panelLinkBox().isOpen());
  EXPECT_FALSE(w.modbusLinkBox().isOpen());

  // The settings file: Windows-1251 text, every line ending in CR LF, the ports as typed.
  QFile file(settings);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << settings.toStdString();
  const QByteArray bytes = file.readAll();
  EXPECT_TRUE(bytes.contains("[Com port]\r\n")) << bytes.toStdString();
  EXPECT_TRUE(bytes.contains("COM1")) << bytes.toStdString();
  EXPECT_TRUE(bytes.contains("COM2")) << bytes.toStdString();
  EXPECT_EQ(bytes.count('\n'), bytes.count("\r\n"));
}

int main(int argc, char** argv) {
  ostrel::Application app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
