#pragma once
// The main window: its menu, its status bar and the one error report, and the
// rooms it is made of, each with its own controls and handlers:
//   ScanPage     the first page: the panel link, the scan, the loop and device tables
//   ModbusPage   the second page: the Modbus link, the register read-out, the commands box
//   LogPane      the log pane under the pages, with the custom command
//   CsvFiles     the tables' CSV files and their dialogs
// The settings file's keys are in SettingsTable.h.
#include <QMainWindow>
#include <QString>
#include <memory>
#include <vector>

#include "WindowHost.h"
#include "core/OwnUse.h"

class QAction;
class QTabWidget;
class QWidget;

namespace ostrel {

class CsvFiles;
class LogPane;
class ModbusPage;
class ScanPage;
class SerialLinkBox;
class TFormPorts;  // the serial ports dialog (TFormPorts.h)
class TStatusBar;
class TForm1;
// The one main window, reachable program-wide while it exists.
extern TForm1* Form1;

class TForm1 : public QMainWindow, public WindowHost {
  Q_OBJECT
 public:
  // dialogs: the modal dialogs seam; nullptr means real Qt dialogs.
  // settingsPath: the settings file; empty means SettingsFilePath().
  explicit TForm1(Dialogs* dialogs = nullptr, const QString& settingsPath = QString(), QWidget* parent = nullptr);
  ~TForm1() override;

  QString settingsPath() const { return settingsPath_; }
  QString programFolder() const { return programFolder_; }
  // The HTML user manual that "User manual" opens.
  QString userManualPath() const { return userManualPath_; }
  void setUserManualPath(const QString& path) { userManualPath_ = path; }

  // ---- what every room may ask of the window ----
  void AddLogLine(const QString& line) override;
  void showStatus(int panel, const QString& text) override;
  Dialogs& dialogs() override { return *dialogs_; }
  void reportError(const std::exception& e) override;
  void portsChanged() override { PortsChanged(); }

  // ---- the rooms ----
  ScanPage& scanPage() { return *scan_; }
  ModbusPage& modbusPage() { return *modbus_; }
  LogPane& logPane() { return *log_; }
  CsvFiles& csvFiles() { return *files_; }
  SerialLinkBox& panelLinkBox();
  SerialLinkBox& modbusLinkBox();
  // Tools > "Serial ports…", made when first opened.
  TFormPorts* portsDialog() const { return FormPorts; }

  // ---- window behaviours (form_window.cpp) ----
  void FormCreate();
  void FormClose();
  void SetEnglishTexts();
  void AutoConnectPorts();        // start-up step: open the ports marked for it
  void DisconnectPortsOnClose();  // shutdown step: close the open ports

  // ---- menu handlers ----
  void Open1Click();
  void Save1Click();
  void Exit1Click();
  void English1Click();
  void Serialports1Click();  // the platform's file (platform/*SerialPorts.cpp)
  void About1Click();        // form_help.cpp
  void Usermanual1Click();

  // Tells an open serial ports dialog that a link connected or disconnected.
  void PortsChanged();
  // The devices the two links hold while connected, for the serial ports dialog.
  std::vector<OwnUse> OwnPortUse() const;

 protected:
  void closeEvent(QCloseEvent* ev) override;

 private:
  void buildRooms();
  void buildMenu();
  void wireMenu();
  void loadSettings();
  void saveSettings();

  std::unique_ptr<Dialogs> ownDialogs_;
  Dialogs* dialogs_ = nullptr;
  QString settingsPath_;
  QString programFolder_;
  QString userManualPath_;

  QTabWidget* PageControl1 = nullptr;
  QWidget* TabSheet1 = nullptr;
  QWidget* TabSheet2 = nullptr;
  TStatusBar* StatusBar1 = nullptr;
  // Each menu is its QAction; its items hang on action->menu().
  QAction* File1 = nullptr;
  QAction* Open1 = nullptr;
  QAction* Save1 = nullptr;
  QAction* Exit1 = nullptr;
  QAction* ools1 = nullptr;
  QAction* Serialports1 = nullptr;
  QAction* Language1 = nullptr;
  QAction* English1 = nullptr;
  QAction* Help1 = nullptr;
  QAction* About1 = nullptr;
  QAction* Usermanual1 = nullptr;
  TFormPorts* FormPorts = nullptr;

  std::unique_ptr<CsvFiles> files_;
  std::unique_ptr<ScanPage> scan_;
  std::unique_ptr<ModbusPage> modbus_;
  std::unique_ptr<LogPane> log_;
};

}  // namespace ostrel
