// The window's own behaviours: start-up and shutdown, the settings file, the
// window texts, the File and Language menus and the Exit confirmation.
#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QMessageBox>
#include <exception>

#include "CsvFiles.h"
#include "IniFile.h"
#include "LogPane.h"
#include "ModbusPage.h"
#include "ScanPage.h"
#include "SettingsTable.h"
#include "TForm1.h"

namespace ostrel {

void TForm1::FormCreate() {
  // 1. The program's folder is the current directory.
  QDir::setCurrent(programFolder_);
  // 2.-5. Settings into the controls.
  loadSettings();
  // 6. Window texts.
  English1->setChecked(true);
  SetEnglishTexts();
  // 7. The custom command starts in hexadecimal mode (the click handler runs).
  log_->startInHexMode();
  // 8. Ports marked for automatic opening. An error raised here is reported
  //    like any other unhandled error, and the window opens all the same.
  try {
    AutoConnectPorts();
  } catch (const std::exception& e) {
    reportError(e);
  }
  // 9. The panel information labels start empty.
  scan_->clearPanelInfo();
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

void TForm1::AutoConnectPorts() {
  if (scan_->link().autoOpen()) scan_->Butt_open_portClick();
  if (modbus_->link().autoOpen()) modbus_->Butt_open_port2Click();
}

void TForm1::DisconnectPortsOnClose() {
  if (scan_->link().isOpen()) scan_->Butt_open_portClick();
  if (modbus_->link().isOpen()) modbus_->Butt_open_port2Click();
}

void TForm1::loadSettings() {
  IniFile ini;
  ini.load(settingsPath_.toStdString());  // a missing or unreadable file gives the defaults
  QString folder = programFolder_;
  if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  WindowSettings s = DefaultWindowSettings(folder.toStdString());
  ReadWindowSettings(ini, s);
  scan_->applySettings(s);
  modbus_->applySettings(s);
  files_->setDataDir(QString::fromStdString(s.dataDir));
}

void TForm1::saveSettings() {
  IniFile ini;
  ini.load(settingsPath_.toStdString());  // keeps what others wrote into the file
  WindowSettings s;
  scan_->collectSettings(s);
  modbus_->collectSettings(s);
  s.dataDir = files_->dataDir().toStdString();
  WriteWindowSettings(s, ini);
  if (!ini.save(settingsPath_.toStdString())) {
    dialogs_->message(QStringLiteral("Saving settings"),
                      QStringLiteral("Settings will not be saved, no write permission"), QMessageBox::Warning,
                      QMessageBox::Ok);
  }
}

void TForm1::SetEnglishTexts() {
  scan_->setEnglishTexts();
  modbus_->setEnglishTexts();
  log_->setEnglishTexts();
}

void TForm1::Open1Click() { scan_->Butt_load_dataClick(); }
void TForm1::Save1Click() { scan_->Butt_save_dataClick(); }

void TForm1::English1Click() {
  English1->setChecked(true);  // the only language: never unchecked
  SetEnglishTexts();
}

void TForm1::Exit1Click() {
  auto answer = dialogs_->message(QStringLiteral("Exit Confirmation"), QStringLiteral("Are you sure you want to exit?"),
                                  QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No);
  if (answer == QMessageBox::Yes) close();
}

}  // namespace ostrel
