// Start-up and shutdown with the settings file.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QTest>

#include "CsvFiles.h"
#include "IniFile.h"
#include "settings_expect.h"
#include "tests/app/find_control.h"

using namespace ostrel;
using namespace ostrel::testing;

TEST_F(FormTest, NoFileGivesDefaultsAndCloseWritesTheTableInOrder) {
  TForm1& f = create();
  expectDefaults(f, dir.path());
  EXPECT_EQ(QDir::currentPath(), QDir(dir.path()).canonicalPath());
  f.close();
  EXPECT_EQ(messages(), 0);
  EXPECT_EQ(readIni(), QByteArray("[Com port]\r\nName=COM1\r\nSpeed=2400\r\nParity=Even\r\nSB=2\r\nAutoOpen=0\r\n"
                                  "[Modbus port]\r\nName=COM1\r\nSpeed=19200\r\nParity=Even\r\nSB=1\r\n"
                                  "[Modbus]\r\nAutoOpen=0\r\nTimeout=600\r\nAddress=1\r\nSTADDR=1\r\nCount=125\r\n"
                                  "[Mbus]\r\nTimeout=300\r\n[Misc]\r\nDir=") +
                           dir.path().toUtf8() + "/\r\n");
}

TEST_F(FormTest, TypedValuesRoundTripAsTyped) {
  {
    TForm1& f = create();
    Child<QComboBox>(f, "Combo_com_speed")->setEditText("600");  // not in the list
    Child<QComboBox>(f, "Combo_com2_name")->setEditText("/dev/ttyUSB0");
    Child<QComboBox>(f, "Combo_com2_parity")->setCurrentIndex(3);
    Child<QCheckBox>(f, "CB_open_port")->setChecked(true);
    Child<ostrel::TUpDown>(f, "UD_modbusTimeout")->setPosition(1250);
    Child<ostrel::TUpDown>(f, "UDmodbusAddress")->setPosition(17);
    Child<QLineEdit>(f, "EditInputCount")->setText("64");
    f.csvFiles().setDataDir("/data/таблици/");
    f.close();
  }
  TForm1& g = create();
  expectShown(panelPort(g), "COM1", "600", "Even", "2", true);
  expectShown(modbusPort(g), "/dev/ttyUSB0", "19200", "Mark", "1", false);
  EXPECT_EQ(Child<ostrel::TUpDown>(g, "UD_modbusTimeout")->Position(), 1250);
  EXPECT_EQ(Child<ostrel::TUpDown>(g, "UDmodbusAddress")->Position(), 17);
  EXPECT_EQ(Child<QLineEdit>(g, "EditInputCount")->text(), "64");
  EXPECT_EQ(g.csvFiles().dataDir(), "/data/таблици/");
  EXPECT_TRUE(readIni().contains("Dir=/data/\xF2\xE0\xE1\xEB\xE8\xF6\xE8/\r\n"));  // Windows-1251
}

TEST_F(FormTest, UnusableValuesFallBackOrClampKeyByKey) {
  writeIni(
      "[MODBUS]\ntimeout=abc\nAutoOpen=2\nADDRESS=99999\n"
      "[mbus]\nTimeout=-40000\n[com port]\nname=COM123456\nSpeed=\nAutoOpen=x\n");
  TForm1& f = create();
  EXPECT_EQ(Child<ostrel::TUpDown>(f, "UD_modbusTimeout")->Position(), 600);     // not a number: default
  EXPECT_TRUE(Child<QCheckBox>(f, "CB_open_port2")->isChecked());                // nonzero is true
  EXPECT_EQ(Child<ostrel::TUpDown>(f, "UDmodbusAddress")->Position(), 32);       // beyond the spin: its limit
  EXPECT_EQ(Child<ostrel::TUpDown>(f, "UD_timeout")->Position(), 300);           // below the spin: its limit
  EXPECT_EQ(Child<QComboBox>(f, "Combo_com_name")->currentText(), "COM123456");  // texts unchanged
  // Such a text can be shortened, but not lengthened past the typing limit.
  QLineEdit* name = Child<QComboBox>(f, "Combo_com_name")->lineEdit();
  name->end(false);
  QTest::keyClick(name, Qt::Key_Backspace);
  QTest::keyClicks(name, "7");
  EXPECT_EQ(name->text(), "COM12345");
  EXPECT_EQ(Child<QComboBox>(f, "Combo_com_speed")->currentText(), "");
  EXPECT_FALSE(Child<QCheckBox>(f, "CB_open_port")->isChecked());
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
    EXPECT_EQ(Child<ostrel::TUpDown>(f, "UD_modbusTimeout")->Position(), 600);
    EXPECT_EQ(Child<QComboBox>(f, "Combo_com_speed")->currentText(), "2400");
    form.reset();
  }
  // The settings file cannot even be read: a folder stands in its place.
  QFile::remove(iniPath());
  ASSERT_TRUE(QDir().mkdir(iniPath()));
  TForm1& f = create();
  expectDefaults(f, dir.path());
}

TEST_F(FormTest, ForeignContentSurvivesAndDuplicatesTakeTheFirst) {
  writeIni(
      "; written by another tool\r\n[Com port]\r\nname=COM5\r\nNAME=COM6\r\n"
      "Comment=\xCA\xEE\xED\xF2\xF3\xF0\r\n\r\n[Other]\r\nkey=value\r\n");
  TForm1& f = create();
  EXPECT_EQ(Child<QComboBox>(f, "Combo_com_name")->currentText(), "COM5");
  Child<QComboBox>(f, "Combo_com_name")->setEditText("COM7");
  f.close();
  const QByteArray out = readIni();
  EXPECT_TRUE(
      out.startsWith("; written by another tool\r\n[Com port]\r\nname=COM7\r\nNAME=COM6\r\n"
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

TEST_F(FormTest, LineEndsOfEveryKindAndAHugeFileReadUpToItsBound) {
  writeIni("[Com port]\rSpeed=4800\rSB=1\r[Modbus]\rTimeout=900\r");
  TForm1& f = create();
  EXPECT_EQ(Child<QComboBox>(f, "Combo_com_speed")->currentText(), "4800");
  EXPECT_EQ(Child<QComboBox>(f, "Combo_stop")->currentText(), "1");
  EXPECT_EQ(Child<ostrel::TUpDown>(f, "UD_modbusTimeout")->Position(), 900);
  f.close();
  const QByteArray out = readIni();
  EXPECT_TRUE(out.startsWith("[Com port]\rSpeed=4800\rSB=1\rName=COM1\r")) << out.left(60).toStdString();
  EXPECT_FALSE(out.contains('\n'));  // the file keeps its own line ends
  form.reset();

  writeIni("[Modbus]\nAddress=7\n[Com port]\r\nSpeed=9600\r\n");
  EXPECT_EQ(Child<ostrel::TUpDown>(create(), "UDmodbusAddress")->Position(), 7);
  EXPECT_EQ(Child<QComboBox>(form, "Combo_com_speed")->currentText(), "9600");
  form.reset();

  // 50 MB (a sparse file): the keys at its start are read, the rest is not,
  // and the file written at close holds only what was read.
  writeIni("[Com port]\r\nSpeed=1200\r\n");
  ASSERT_TRUE(QFile::resize(iniPath(), 50 << 20));
  TForm1& big = create();
  EXPECT_EQ(Child<QComboBox>(big, "Combo_com_speed")->currentText(), "1200");
  big.close();
  EXPECT_EQ(messages(), 0);
  EXPECT_LT(QFileInfo(iniPath()).size(), 1 << 20);
  EXPECT_TRUE(readIni().startsWith("[Com port]\r\nSpeed=1200\r\n"));
}
