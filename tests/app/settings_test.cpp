// Start-up and shutdown with the settings file.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QTest>

#include "IniFile.h"
#include "form_fixture.h"

using namespace ostrel;

namespace {
struct Shown {
  QString name, speed, parity, stop;
  bool autoOpen;
};
Shown panelPort(TForm1& f) {
  return {f.Combo_com_name->currentText(), f.Combo_com_speed->currentText(),
          f.Combo_com_parity->currentText(), f.Combo_stop->currentText(), f.CB_open_port->isChecked()};
}
Shown modbusPort(TForm1& f) {
  return {f.Combo_com2_name->currentText(), f.Combo_com2_speed->currentText(),
          f.Combo_com2_parity->currentText(), f.Combo_com2_stop->currentText(),
          f.CB_open_port2->isChecked()};
}
void expectShown(const Shown& s, const char* name, const char* speed, const char* parity,
                 const char* stop, bool autoOpen) {
  EXPECT_EQ(s.name, name);
  EXPECT_EQ(s.speed, speed);
  EXPECT_EQ(s.parity, parity);
  EXPECT_EQ(s.stop, stop);
  EXPECT_EQ(s.autoOpen, autoOpen);
}
void expectDefaults(TForm1& f, const QString& folder) {
  expectShown(panelPort(f), "COM1", "2400", "Even", "2", false);
  expectShown(modbusPort(f), "COM1", "19200", "Even", "1", false);
  EXPECT_EQ(f.UD_timeout->Position(), 300);
  EXPECT_EQ(f.UD_modbusTimeout->Position(), 600);
  EXPECT_EQ(f.EditTimeoutModbus->text(), "600");
  EXPECT_EQ(f.UDmodbusAddress->Position(), 1);
  EXPECT_EQ(f.EditInputAddress->text(), "1");
  EXPECT_EQ(f.EditInputCount->text(), "125");
  EXPECT_EQ(f.dataDir, folder + "/");
}
}  // namespace

TEST_F(FormTest, NoFileGivesDefaultsAndCloseWritesTheTableInOrder) {
  TForm1& f = create();
  expectDefaults(f, dir.path());
  EXPECT_EQ(QDir::currentPath(), QDir(dir.path()).canonicalPath());
  f.close();
  EXPECT_EQ(messages(), 0);
  EXPECT_EQ(readIni(),
            QByteArray("[Com port]\r\nName=COM1\r\nSpeed=2400\r\nParity=Even\r\nSB=2\r\nAutoOpen=0\r\n"
                       "[Modbus port]\r\nName=COM1\r\nSpeed=19200\r\nParity=Even\r\nSB=1\r\n"
                       "[Modbus]\r\nAutoOpen=0\r\nTimeout=600\r\nAddress=1\r\nSTADDR=1\r\nCount=125\r\n"
                       "[Mbus]\r\nTimeout=300\r\n[Misc]\r\nDir=") +
                dir.path().toUtf8() + "/\r\n");
}

TEST_F(FormTest, TypedValuesRoundTripAsTyped) {
  {
    TForm1& f = create();
    f.Combo_com_speed->setEditText("600");  // not in the list
    f.Combo_com2_name->setEditText("/dev/ttyUSB0");
    f.Combo_com2_parity->setCurrentIndex(3);
    f.CB_open_port->setChecked(true);
    f.UD_modbusTimeout->setPosition(1250);
    f.UDmodbusAddress->setPosition(17);
    f.EditInputCount->setText("64");
    f.dataDir = "/data/таблици/";
    f.close();
  }
  TForm1& g = create();
  expectShown(panelPort(g), "COM1", "600", "Even", "2", true);
  expectShown(modbusPort(g), "/dev/ttyUSB0", "19200", "Mark", "1", false);
  EXPECT_EQ(g.UD_modbusTimeout->Position(), 1250);
  EXPECT_EQ(g.UDmodbusAddress->Position(), 17);
  EXPECT_EQ(g.EditInputCount->text(), "64");
  EXPECT_EQ(g.dataDir, "/data/таблици/");
  EXPECT_TRUE(readIni().contains("Dir=/data/\xF2\xE0\xE1\xEB\xE8\xF6\xE8/\r\n"));  // Windows-1251
}

TEST_F(FormTest, UnusableValuesFallBackOrClampKeyByKey) {
  writeIni("[MODBUS]\ntimeout=abc\nAutoOpen=2\nADDRESS=99999\n"
           "[mbus]\nTimeout=-40000\n[com port]\nname=COM123456\nSpeed=\nAutoOpen=x\n");
  TForm1& f = create();
  EXPECT_EQ(f.UD_modbusTimeout->Position(), 600);   // not a number: default
  EXPECT_TRUE(f.CB_open_port2->isChecked());        // nonzero is true
  EXPECT_EQ(f.UDmodbusAddress->Position(), 32);     // beyond the spin: its limit
  EXPECT_EQ(f.UD_timeout->Position(), 300);         // below the spin: its limit
  EXPECT_EQ(f.Combo_com_name->currentText(), "COM123456");  // texts unchanged
  // Such a text can be shortened, but not lengthened past the typing limit.
  QLineEdit* name = f.Combo_com_name->lineEdit();
  name->end(false);
  QTest::keyClick(name, Qt::Key_Backspace);
  QTest::keyClicks(name, "7");
  EXPECT_EQ(name->text(), "COM12345");
  EXPECT_EQ(f.Combo_com_speed->currentText(), "");
  EXPECT_FALSE(f.CB_open_port->isChecked());
  expectShown(modbusPort(f), "COM1", "19200", "Even", "1", true);
}

TEST_F(FormTest, HostileFilesNeverStopStartUp) {
  QByteArray binary;
  for (int i = 0; i < 5000; ++i) binary.append(char((i * 37) & 0xFF));
  const QByteArray cases[] = {QByteArray(), binary, QByteArray("[Com port]\nNa"),
                              QByteArray("[Com port]\nName=") + QByteArray(1 << 20, 'A'),
                              QByteArray("[Modbus]\nTimeout=\0\x01", 20)};
  for (const QByteArray& bytes : cases) {
    writeIni(bytes);
    TForm1& f = create();
    EXPECT_EQ(f.UD_modbusTimeout->Position(), 600);
    EXPECT_EQ(f.Combo_com_speed->currentText(), "2400");
    form.reset();
  }
  // The settings file cannot even be read: a folder stands in its place.
  QFile::remove(iniPath());
  ASSERT_TRUE(QDir().mkdir(iniPath()));
  TForm1& f = create();
  expectDefaults(f, dir.path());
}

TEST_F(FormTest, ForeignContentSurvivesAndDuplicatesTakeTheFirst) {
  writeIni("; written by another tool\r\n[Com port]\r\nname=COM5\r\nNAME=COM6\r\n"
           "Comment=\xCA\xEE\xED\xF2\xF3\xF0\r\n\r\n[Other]\r\nkey=value\r\n");
  TForm1& f = create();
  EXPECT_EQ(f.Combo_com_name->currentText(), "COM5");
  f.Combo_com_name->setEditText("COM7");
  f.close();
  const QByteArray out = readIni();
  EXPECT_TRUE(out.startsWith("; written by another tool\r\n[Com port]\r\nname=COM7\r\nNAME=COM6\r\n"
                             "Comment=\xCA\xEE\xED\xF2\xF3\xF0\r\n"));
  EXPECT_TRUE(out.contains("\r\n[Other]\r\nkey=value\r\n"));
  EXPECT_EQ(out.count("[Com port]"), 1);
}

TEST_F(FormTest, UnwritableFileWarnsOnceAndShutdownGoesOn) {
  // Root writes everywhere, so a folder standing where the file should be
  // makes the write fail.
  ASSERT_TRUE(QDir().mkdir(iniPath()));
  TForm1& f = create();
  f.show();
  f.close();
  ASSERT_EQ(messages(), 1);
  const auto* m = dialogs.last(ScriptedDialogs::Kind::Message);
  EXPECT_EQ(m->caption, "Saving settings");
  EXPECT_EQ(m->text, "Settings will not be saved, no write permission");
  EXPECT_EQ(m->icon, QMessageBox::Warning);
  EXPECT_FALSE(f.isVisible());
  EXPECT_TRUE(QFileInfo(iniPath()).isDir());
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"ostrel.ini"});
}
