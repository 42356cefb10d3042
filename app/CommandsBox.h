#pragma once
// The "Commands" box of the Modbus page: a panel command with its target and
// flags, the date and time, the automatic read-out, and the line code (baud
// and parity) of either of the panel's ports. Everything is sent through the
// Modbus master to the slave the page addresses.
#include <QChar>
#include <functional>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace ostrel::modbus {
class ModbusMaster;
}

namespace ostrel {

class TUpDown;
class WindowHost;

// What the box sends through: the page's master, whether its link is
// connected, and the slave address it has chosen.
struct CommandTarget {
  std::function<modbus::ModbusMaster&()> master;
  std::function<bool()> portOpen;
  std::function<int()> slave;
};

class CommandsBox {
 public:
  CommandsBox(QWidget* page, WindowHost& host, CommandTarget target);

  QGroupBox* box() const { return GroupBox3; }
  // "Automatic readout in:" is checked.
  bool automaticReadout() const;

  // ---- handlers ----
  void ComboCommandChange();
  void checkLoop1Click();
  void checkLoop2Click();
  void checkFPbaudClick();
  void checkModbusPortClick();
  void BitBtn9Click();
  void BitBtn10Click();
  void BitBtn11Click();
  void CheckBox1Click();
  void Edit_autoChange();
  void Edit_zoneDeviceKeyPress(QChar& Key);

 private:
  void build(QWidget* page);
  void buildSending(QWidget* b);
  void layOut();
  // Lays out the sending controls from grid row r on.
  void layOutSending(QGridLayout* g, int r);
  void wire();

  WindowHost& host_;
  CommandTarget target_;

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
};

}  // namespace ostrel
