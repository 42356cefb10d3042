#pragma once
// What the window shows of the two links and the other settings, as the settings tests expect it.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include "CsvFiles.h"
#include "TUpDown.h"
#include "form_fixture.h"
#include "tests/app/find_control.h"

namespace ostrel::testing {
struct Shown {
  QString name, speed, parity, stop;
  bool autoOpen;
};
inline Shown panelPort(TForm1& f) {
  return {Child<QComboBox>(f, "Combo_com_name")->currentText(), Child<QComboBox>(f, "Combo_com_speed")->currentText(),
          Child<QComboBox>(f, "Combo_com_parity")->currentText(), Child<QComboBox>(f, "Combo_stop")->currentText(),
          Child<QCheckBox>(f, "CB_open_port")->isChecked()};
}
inline Shown modbusPort(TForm1& f) {
  return {Child<QComboBox>(f, "Combo_com2_name")->currentText(), Child<QComboBox>(f, "Combo_com2_speed")->currentText(),
          Child<QComboBox>(f, "Combo_com2_parity")->currentText(),
          Child<QComboBox>(f, "Combo_com2_stop")->currentText(), Child<QCheckBox>(f, "CB_open_port2")->isChecked()};
}
inline void expectShown(const Shown& s, const char* name, const char* speed, const char* parity, const char* stop,
                        bool autoOpen) {
  EXPECT_EQ(s.name, name);
  EXPECT_EQ(s.speed, speed);
  EXPECT_EQ(s.parity, parity);
  EXPECT_EQ(s.stop, stop);
  EXPECT_EQ(s.autoOpen, autoOpen);
}
inline void expectDefaults(TForm1& f, const QString& folder) {
  expectShown(panelPort(f), "COM1", "2400", "Even", "2", false);
  expectShown(modbusPort(f), "COM1", "19200", "Even", "1", false);
  EXPECT_EQ(Child<ostrel::TUpDown>(f, "UD_timeout")->Position(), 300);
  EXPECT_EQ(Child<ostrel::TUpDown>(f, "UD_modbusTimeout")->Position(), 600);
  EXPECT_EQ(Child<QLineEdit>(f, "EditTimeoutModbus")->text(), "600");
  EXPECT_EQ(Child<ostrel::TUpDown>(f, "UDmodbusAddress")->Position(), 1);
  EXPECT_EQ(Child<QLineEdit>(f, "EditInputAddress")->text(), "1");
  EXPECT_EQ(Child<QLineEdit>(f, "EditInputCount")->text(), "125");
  EXPECT_EQ(f.csvFiles().dataDir(), folder + "/");
}
}  // namespace ostrel::testing
