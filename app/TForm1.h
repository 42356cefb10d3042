#pragma once
// The main window: its control tree, its own behaviours, and the handlers of
// every control event. Handlers of each area live in their own file
// (form_*.cpp); the control tree is built in TForm1.cpp.
#include <QMainWindow>
#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "Dialogs.h"
#include "FileDialogs.h"
#include "LogPane.h"
#include "TStatusBar.h"
#include "TStringGrid.h"
#include "TTimer.h"
#include "TUpDown.h"
#include "core/OwnUse.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPainter;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QWidget;

namespace ostrel {
class TFormPorts;  // the serial ports dialog (TFormPorts.h)
}
namespace ostrel::serial {
class TVaComm;  // the serial port component (serial/VaComm.h)
}
namespace ostrel::modbus {
class ModbusMaster;  // the Modbus master's read-out and commands (modbus/readout.h)
}

namespace ostrel {

using serial::TVaComm;
class TForm1;
// The one main window, reachable program-wide while it exists.
extern TForm1* Form1;

class TForm1 : public QMainWindow {
  Q_OBJECT
 public:
  // dialogs: the modal dialogs seam; nullptr means real Qt dialogs.
  // settingsPath: the settings file; empty means SettingsFilePath().
  explicit TForm1(Dialogs* dialogs = nullptr, const QString& settingsPath = QString(), QWidget* parent = nullptr);
  ~TForm1() override;

  Dialogs& dialogs() { return *dialogs_; }
  QString settingsPath() const { return settingsPath_; }
  QString programFolder() const { return programFolder_; }
  // The HTML user manual that "User manual" opens.
  QString userManualPath() const { return userManualPath_; }
  void setUserManualPath(const QString& path) { userManualPath_ = path; }

  // Appends one whole line to the log pane and keeps the newest line in view.
  void AddLogLine(const QString& line);
  // Removes every line; the pane then holds no line, not even an empty one.
  void ClearLog();
  bool logHoldsNoLine() const;

  // ---- window behaviours (form_window.cpp) ----
  void FormCreate();
  void FormClose();
  void SetEnglishTexts();
  // The digits filter: digits, backspace, line feed and carriage return pass;
  // any other character becomes escape (27), which is not inserted.
  static void DigitsOnly(QChar& key);

  // ================= controls =================
  // Tab control
  QTabWidget* PageControl1 = nullptr;
  QWidget* TabSheet1 = nullptr;
  QWidget* TabSheet2 = nullptr;

  // TabSheet1: panel RS-232 link
  QGroupBox* GroupBox1 = nullptr;
  QLabel* Label1 = nullptr;
  QComboBox* Combo_com_name = nullptr;
  QLabel* Label2 = nullptr;
  QComboBox* Combo_com_speed = nullptr;
  QLabel* Label3 = nullptr;
  QComboBox* Combo_com_parity = nullptr;
  QLabel* Label12 = nullptr;
  QComboBox* Combo_stop = nullptr;
  QCheckBox* CB_open_port = nullptr;
  QPushButton* Butt_open_port = nullptr;
  QLabel* Label8 = nullptr;
  QLineEdit* Edit_timeout = nullptr;
  TUpDown* UD_timeout = nullptr;
  QLabel* Label9 = nullptr;
  QPushButton* BitBtn1 = nullptr;
  QPushButton* BitBtn2 = nullptr;
  TStringGrid* gridLoops = nullptr;
  QLabel* Label6 = nullptr;
  QLabel* Label7 = nullptr;
  QLabel* Label10 = nullptr;
  QLabel* Label11 = nullptr;
  TStringGrid* GridDevices = nullptr;
  QPushButton* Butt_load_data = nullptr;
  QPushButton* Butt_save_data = nullptr;
  QPushButton* Butt_clear_grid = nullptr;
  QPlainTextEdit* Memo_export = nullptr;

  // TabSheet2: Modbus
  QGroupBox* GroupBox2 = nullptr;
  QLabel* Label5 = nullptr;
  QComboBox* Combo_com2_name = nullptr;
  QLabel* Label13 = nullptr;
  QComboBox* Combo_com2_speed = nullptr;
  QLabel* Label14 = nullptr;
  QComboBox* Combo_com2_parity = nullptr;
  QLabel* Label15 = nullptr;
  QComboBox* Combo_com2_stop = nullptr;
  QPushButton* Butt_open_port2 = nullptr;
  QCheckBox* CB_open_port2 = nullptr;
  QLabel* Label16 = nullptr;
  QLabel* Label17 = nullptr;
  QLineEdit* EditInputAddress = nullptr;
  QLabel* Label18 = nullptr;
  QLineEdit* EditInputCount = nullptr;
  QPushButton* BitBtn3 = nullptr;
  QLabel* Label20 = nullptr;
  QLineEdit* EditTimeoutModbus = nullptr;
  TUpDown* UD_modbusTimeout = nullptr;
  QLabel* Label19 = nullptr;
  QLineEdit* EditAddressModbus = nullptr;
  TUpDown* UDmodbusAddress = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  TStringGrid* gridInputRegisters = nullptr;
  QPushButton* BitBtn8 = nullptr;
  QPushButton* BitBtn4 = nullptr;
  QLineEdit* Edit_address = nullptr;
  QPushButton* BitBtn12 = nullptr;

  // TabSheet2: Commands group
  QGroupBox* GroupBox3 = nullptr;
  QLabel* Label21 = nullptr;
  QLineEdit* Edit_panelNumber = nullptr;
  TUpDown* UD_panelNumber = nullptr;
  QLabel* Label23 = nullptr;
  QComboBox* ComboCommand = nullptr;
  QLabel* Label22 = nullptr;
  QLineEdit* Edit_zoneDevice = nullptr;
  TUpDown* UD_zoneDevice = nullptr;
  QCheckBox* checkLoop1 = nullptr;
  QCheckBox* checkLoop2 = nullptr;
  QCheckBox* checkPanelEnable = nullptr;
  QCheckBox* CheckBeeper = nullptr;
  QCheckBox* CheckResetFire = nullptr;
  QCheckBox* Check_fire2Time = nullptr;
  QCheckBox* CheckFire2 = nullptr;
  QCheckBox* CheckSiren = nullptr;
  QPushButton* BitBtn9 = nullptr;
  QPushButton* BitBtn10 = nullptr;
  QCheckBox* CheckBox1 = nullptr;
  QLineEdit* Edit_auto = nullptr;
  TUpDown* UD_auto = nullptr;
  QLabel* Label24 = nullptr;
  QComboBox* Combo_baud = nullptr;
  QComboBox* Combo_parity = nullptr;
  QCheckBox* checkFPbaud = nullptr;
  QLabel* Label25 = nullptr;
  QCheckBox* checkModbusPort = nullptr;
  QPushButton* BitBtn11 = nullptr;

  // Log area
  LogPane* Memo_current = nullptr;
  QPushButton* BitBtn7 = nullptr;
  QPushButton* BitBtn6 = nullptr;
  QPushButton* BitBtn5 = nullptr;
  QLabel* Label4 = nullptr;
  QCheckBox* Check_ascii = nullptr;
  QCheckBox* Check_hex = nullptr;
  QLineEdit* Edit_command = nullptr;
  QPushButton* Butt_command_send = nullptr;

  TStatusBar* StatusBar1 = nullptr;

  // Main menu
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

  // Tools > "Serial ports…", made when first opened.
  TFormPorts* FormPorts = nullptr;

  // Non-visual objects
  TSaveDialog* SaveDialog1 = nullptr;
  TOpenDialog* OpenDialog1 = nullptr;
  TTimer* Timer_free_command = nullptr;
  TTimer* Timer_modbus = nullptr;
  TTimer* Timer_auto = nullptr;

  // Serial port objects; created by the port connection code. The deleter
  // lives with that code (form_ports.cpp), where TVaComm is a complete type.
  struct CommDeleter {
    void operator()(TVaComm* port) const;
  };
  std::unique_ptr<TVaComm, CommDeleter> Comm1;  // panel link
  std::unique_ptr<TVaComm, CommDeleter> Comm2;  // Modbus master

  // ================= fields =================
  bool fpPortOpen = false;
  bool modbusPortOpen = false;
  QString dataDir;  // the CSV dialogs' folder, with a trailing separator

  // ================= handlers =================
  // window (form_window.cpp)
  void Exit1Click();
  void English1Click();
  // help (form_help.cpp)
  void About1Click();
  void Usermanual1Click();
  void Combo_com_speedKeyPress(QChar& Key);
  void Combo_stopKeyPress(QChar& Key);
  void Edit_timeoutKeyPress(QChar& Key);
  void Combo_com2_speedKeyPress(QChar& Key);
  void Combo_com2_stopKeyPress(QChar& Key);
  void EditInputAddressKeyPress(QChar& Key);
  void EditInputCountKeyPress(QChar& Key);
  void EditTimeoutModbusKeyPress(QChar& Key);
  void EditAddressModbusKeyPress(QChar& Key);
  void Edit_zoneDeviceKeyPress(QChar& Key);
  void Edit_addressKeyPress(QChar& Key);

  // ports (form_ports.cpp)
  void Butt_open_portClick();
  void Butt_open_port2Click();
  void AutoConnectPorts();        // start-up step: open the ports marked for it
  void DisconnectPortsOnClose();  // shutdown step: close the open ports

  // Tools menu (form_tools.cpp)
  void Serialports1Click();

  // log pane and custom command (form_log.cpp)
  void Check_asciiClick();
  void Check_hexClick();
  void Butt_command_sendClick();
  void BitBtn5Click();
  void BitBtn6Click();

  // panel scan (form_scan.cpp)
  void BitBtn1Click();
  void BitBtn2Click();
  void Comm1RxChar();
  void Timer_free_commandTimer();

  // Modbus read-out (form_modbus.cpp)
  void BitBtn3Click();
  void BitBtn4Click();
  void Comm2RxChar();
  void Timer_modbusTimer();
  void Timer_autoTimer();
  void CheckBox1Click();
  void Edit_autoChange();
  void gridInputRegistersDrawCell(int ACol, int ARow, const QRect& Rect, QPainter* painter,
                                  const QStyleOptionViewItem& State);

  // Modbus commands (form_commands.cpp)
  void ComboCommandChange();
  void checkLoop1Click();
  void checkLoop2Click();
  void checkFPbaudClick();
  void checkModbusPortClick();
  void BitBtn9Click();
  void BitBtn10Click();
  void BitBtn11Click();
  void BitBtn12Click();

  // CSV files (form_csv.cpp)
  void Butt_save_dataClick();
  void Butt_load_dataClick();
  void Butt_clear_gridClick();
  void Open1Click();
  void Save1Click();
  void BitBtn8Click();

  // ================= per-area state =================
  // ports (form_ports.cpp)
  // Creates Comm1 and Comm2 with their fixed configuration; runs before FormCreate.
  void CreatePorts();
  // The two toggles: disconnect when the link's flag is set, connect otherwise.
  void TogglePanelPort();
  void ToggleModbusPort();
  // Shows a lost device (pulled adapter, far end gone) in the status bar and the log.
  void ReportDeviceLost(TVaComm* port);
  // The device each link opened, while it is connected (empty otherwise).
  std::string panelDevicePath;
  std::string modbusDevicePath;

  // Tools menu (form_tools.cpp)
  // Tells an open serial ports dialog that a link connected or disconnected.
  void PortsChanged();
  // The devices the two links hold while connected, for the serial ports dialog.
  std::vector<OwnUse> OwnPortUse() const;

  // log pane and custom command (form_log.cpp)
  // True while nothing has changed the pane since start (its one empty line).
  bool logUntouchedSinceStart() const;
  // The pane's lines joined by "\n" in UTF-8, trailing carriage returns kept.
  std::string logPlainText() const;

  // panel scan (form_scan.cpp)
  // The scan and its view of this window (PanelWindowView.h), made on first use.
  struct PanelLink;
  struct PanelLinkDeleter {
    void operator()(PanelLink* link) const;
  };
  std::unique_ptr<PanelLink, PanelLinkDeleter> panelLink_;
  PanelLink& panelLink();

  // Modbus read-out (form_modbus.cpp)
  // The Modbus master with its port link over Comm2 and its view of this
  // window; created on first use, destroyed before the ports.
  struct ModbusReadout;
  struct ModbusReadoutDeleter {
    void operator()(ModbusReadout* r) const;
  };
  std::unique_ptr<ModbusReadout, ModbusReadoutDeleter> modbus_;
  modbus::ModbusMaster& modbusMaster();

  // Modbus commands (form_commands.cpp)

  // CSV files (form_csv.cpp)
  // Writes the grid's data rows (1 .. RowCount-2) to the file the user
  // confirms in SaveDialog1; staging receives the file's lines first.
  void SaveGridToCsv(TStringGrid* grid, const QString& suggestedName, QPlainTextEdit* staging);
  // Reads a file into GridDevices from row 1 on; staging receives its text.
  void LoadCsvIntoDevices(const QString& fileName, QPlainTextEdit* staging);

 protected:
  void closeEvent(QCloseEvent* ev) override;

 private:
  void buildControls();
  void buildTabSheet1();
  void buildTabSheet2();
  void buildCommands(QWidget* page);
  void buildLogArea(QWidget* central);
  void buildMenu();
  void wireEvents();
  // control: the edit box, or the editable combo box that holds the focus.
  void installDigitsFilter(QWidget* control, void (TForm1::*handler)(QChar&));
  void loadSettings();
  void saveSettings();

  std::unique_ptr<Dialogs> ownDialogs_;
  Dialogs* dialogs_ = nullptr;
  QString settingsPath_;
  QString programFolder_;
  QString userManualPath_;
};

}  // namespace ostrel
