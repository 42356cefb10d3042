// The window's own behaviours: start-up and shutdown, the settings file, the
// window texts, the Language menu, the Exit confirmation and the digits filter.
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <exception>

#include "IniFile.h"
#include "TForm1.h"
#include "core/LineDefaults.h"

namespace ostrel {
namespace {

std::string str(const QString& s) { return s.toStdString(); }
QString qstr(const std::string& s) { return QString::fromStdString(s); }

// Spin positions are signed 16-bit; a value beyond that range is taken as
// the nearest 16-bit value, and the up-down then puts it on its own limits.
int spinValue(long long v) { return static_cast<int>(std::clamp<long long>(v, -32768, 32767)); }

void setComboText(QComboBox* c, const QString& text) {
  int idx = c->findText(text, Qt::MatchExactly);
  if (idx >= 0) {
    c->setCurrentIndex(idx);
  } else {
    c->setCurrentIndex(-1);
    c->setEditText(text);
  }
}

}  // namespace

void TForm1::FormCreate() {
  // 1. The program's folder is the current directory.
  QDir::setCurrent(programFolder_);
  // 2.-5. Settings into the controls.
  loadSettings();
  // 6. Window texts.
  English1->setChecked(true);
  SetEnglishTexts();
  // 7. The custom command starts in hexadecimal mode (the click handler runs).
  Check_hex->setChecked(true);
  // 8. Ports marked for automatic opening. An error raised here is reported
  //    like any other unhandled error, and the window opens all the same.
  try {
    AutoConnectPorts();
  } catch (const std::exception& e) {
    dialogs_->message(QStringLiteral("Ostrel"), QString::fromUtf8(e.what()), QMessageBox::Critical, QMessageBox::Ok);
  }
  // 9. The panel information labels start empty.
  for (QLabel* l : {Label6, Label7, Label10, Label11}) l->clear();
}

void TForm1::FormClose() {
  QDir::setCurrent(programFolder_);
  saveSettings();
  DisconnectPortsOnClose();
}

void TForm1::closeEvent(QCloseEvent* ev) {
  FormClose();
  ev->accept();
}

void TForm1::loadSettings() {
  IniFile ini;
  ini.load(str(settingsPath_));  // a missing or unreadable file gives the defaults
  setComboText(Combo_com_name, qstr(ini.readString("Com port", "Name", "COM1")));
  setComboText(Combo_com_speed, qstr(ini.readString("Com port", "Speed", SpeedText(kPanelLineDefaults))));
  setComboText(Combo_com_parity, qstr(ini.readString("Com port", "Parity", ParityText(kPanelLineDefaults))));
  setComboText(Combo_stop, qstr(ini.readString("Com port", "SB", StopText(kPanelLineDefaults))));
  CB_open_port->setChecked(ini.readBool("Com port", "AutoOpen", false));
  setComboText(Combo_com2_name, qstr(ini.readString("Modbus port", "Name", "COM1")));
  setComboText(Combo_com2_speed, qstr(ini.readString("Modbus port", "Speed", SpeedText(kModbusLineDefaults))));
  setComboText(Combo_com2_parity, qstr(ini.readString("Modbus port", "Parity", ParityText(kModbusLineDefaults))));
  setComboText(Combo_com2_stop, qstr(ini.readString("Modbus port", "SB", StopText(kModbusLineDefaults))));
  CB_open_port2->setChecked(ini.readBool("Modbus", "AutoOpen", false));
  UD_timeout->setPosition(spinValue(ini.readInteger("Mbus", "Timeout", 300)));
  UD_modbusTimeout->setPosition(spinValue(ini.readInteger("Modbus", "Timeout", 600)));
  UDmodbusAddress->setPosition(spinValue(ini.readInteger("Modbus", "Address", 1)));
  EditInputAddress->setText(qstr(ini.readString("Modbus", "STADDR", "1")));
  EditInputCount->setText(qstr(ini.readString("Modbus", "Count", "125")));
  QString folder = programFolder_;
  if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  dataDir = qstr(ini.readString("Misc", "Dir", str(folder)));
}

void TForm1::saveSettings() {
  IniFile ini;
  ini.load(str(settingsPath_));  // keeps what others wrote into the file
  ini.writeString("Com port", "Name", str(Combo_com_name->currentText()));
  ini.writeString("Com port", "Speed", str(Combo_com_speed->currentText()));
  ini.writeString("Com port", "Parity", str(Combo_com_parity->currentText()));
  ini.writeString("Com port", "SB", str(Combo_stop->currentText()));
  ini.writeBool("Com port", "AutoOpen", CB_open_port->isChecked());
  ini.writeString("Modbus port", "Name", str(Combo_com2_name->currentText()));
  ini.writeString("Modbus port", "Speed", str(Combo_com2_speed->currentText()));
  ini.writeString("Modbus port", "Parity", str(Combo_com2_parity->currentText()));
  ini.writeString("Modbus port", "SB", str(Combo_com2_stop->currentText()));
  ini.writeBool("Modbus", "AutoOpen", CB_open_port2->isChecked());
  ini.writeInteger("Mbus", "Timeout", UD_timeout->Position());
  ini.writeInteger("Modbus", "Timeout", UD_modbusTimeout->Position());
  ini.writeInteger("Modbus", "Address", UDmodbusAddress->Position());
  ini.writeString("Modbus", "STADDR", str(EditInputAddress->text()));
  ini.writeString("Modbus", "Count", str(EditInputCount->text()));
  ini.writeString("Misc", "Dir", str(dataDir));
  if (!ini.save(str(settingsPath_))) {
    dialogs_->message(QStringLiteral("Saving settings"),
                      QStringLiteral("Settings will not be saved, no write permission"), QMessageBox::Warning,
                      QMessageBox::Ok);
  }
}

void TForm1::SetEnglishTexts() {
  static const char* const loops[] = {"Контур ", "Брой у-ва ", "Max mA ", "Вкл./Изкл. ", "Адресация "};
  static const char* const devices[] = {" ",      "ID ",   "Тип ",    "Стар No. ", "No. следващо ", "No. предходно ",
                                        "Ветви ", "Зона ", "Статус ", "Флагове ",  "Modbus "};
  static const char* const registers[] = {"Addr. modbus", "High ", "Notes/Decode ", "Low ", "Notes/Decode ", "Time "};
  for (int c = 0; c < 5; ++c) gridLoops->setCells(c, 0, QString::fromUtf8(loops[c]));
  for (int c = 0; c < 11; ++c) GridDevices->setCells(c, 0, QString::fromUtf8(devices[c]));
  for (int c = 0; c < 6; ++c) gridInputRegisters->setCells(c, 0, QString::fromUtf8(registers[c]));

  GroupBox1->setTitle(QStringLiteral("   Serial port settings   "));
  Label1->setText(QStringLiteral("Name"));
  Label2->setText(QStringLiteral("Speed"));
  Label3->setText(QStringLiteral("Parity"));
  Label8->setText(QStringLiteral("Resp. timeout"));
  Butt_open_port->setText(QStringLiteral("Connect to port"));
  CB_open_port->setText(QStringLiteral("Automatically Open on startup"));
  Butt_clear_grid->setText(QStringLiteral("Clear table"));
  Butt_load_data->setText(QStringLiteral("Load"));
  Butt_save_data->setText(QStringLiteral("Save"));
  Butt_command_send->setText(QStringLiteral("Send"));
  Label4->setText(QStringLiteral("Send custom command"));
  BitBtn7->setText(QStringLiteral("Print"));
  BitBtn6->setText(QStringLiteral("Save log"));
  BitBtn5->setText(QStringLiteral("Clear log"));
}

void TForm1::English1Click() {
  English1->setChecked(true);  // the only language: never unchecked
  SetEnglishTexts();
}

void TForm1::Exit1Click() {
  auto answer = dialogs_->message(QStringLiteral("Exit Confirmation"), QStringLiteral("Are you sure you want to exit?"),
                                  QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No);
  if (answer == QMessageBox::Yes) close();
}

void TForm1::DigitsOnly(QChar& key) {
  const ushort c = key.unicode();
  if ((c >= '0' && c <= '9') || c == 8 || c == 10 || c == 13) return;
  key = QChar(27);
}

void TForm1::Combo_com_speedKeyPress(QChar& Key) { DigitsOnly(Key); }
void TForm1::Combo_stopKeyPress(QChar& Key) { DigitsOnly(Key); }
void TForm1::Edit_timeoutKeyPress(QChar& Key) { DigitsOnly(Key); }
void TForm1::Combo_com2_speedKeyPress(QChar& Key) { DigitsOnly(Key); }
void TForm1::Combo_com2_stopKeyPress(QChar& Key) { DigitsOnly(Key); }
void TForm1::EditInputAddressKeyPress(QChar& Key) { DigitsOnly(Key); }
void TForm1::EditInputCountKeyPress(QChar& Key) { DigitsOnly(Key); }
void TForm1::EditTimeoutModbusKeyPress(QChar& Key) { DigitsOnly(Key); }
void TForm1::EditAddressModbusKeyPress(QChar& Key) { DigitsOnly(Key); }
void TForm1::Edit_zoneDeviceKeyPress(QChar& Key) { DigitsOnly(Key); }
void TForm1::Edit_addressKeyPress(QChar& Key) { DigitsOnly(Key); }

}  // namespace ostrel
