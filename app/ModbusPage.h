#pragma once
// The second page: the Modbus link, the input register read-out and its
// table, the register export, the slave's new address, and the commands box.
// The read-out itself is modbus::ModbusMaster.
#include <QChar>
#include <memory>

#include "CommandsBox.h"
#include "SerialLinkBox.h"

class QLabel;
class QLineEdit;
class QPainter;
class QProgressBar;
class QPushButton;
class QRect;
class QStyleOptionViewItem;
class QVBoxLayout;
class QWidget;

namespace ostrel {

class CsvFiles;
class TStringGrid;
class TTimer;
class TUpDown;
class WindowHost;
struct WindowSettings;

class ModbusPage {
 public:
  ModbusPage(QWidget* page, WindowHost& host, CsvFiles& files, std::shared_ptr<serial::TVaMainThreadSync> sync);
  ~ModbusPage();
  ModbusPage(const ModbusPage&) = delete;
  ModbusPage& operator=(const ModbusPage&) = delete;

  SerialLinkBox& link() { return link_; }
  CommandsBox& commands() { return *commands_; }
  // The Modbus master with its view of this page, made on first use.
  modbus::ModbusMaster& modbusMaster();

  // ---- handlers ----
  void Butt_open_port2Click();
  void BitBtn3Click();
  void BitBtn4Click();
  void BitBtn8Click();
  void BitBtn12Click();
  void Comm2RxChar();
  void Timer_modbusTimer();
  void Timer_autoTimer();
  void gridInputRegistersDrawCell(int ACol, int ARow, const QRect& Rect, QPainter* painter,
                                  const QStyleOptionViewItem& State);
  void Combo_com2_speedKeyPress(QChar& Key);
  void Combo_com2_stopKeyPress(QChar& Key);
  void EditInputAddressKeyPress(QChar& Key);
  void EditInputCountKeyPress(QChar& Key);
  void EditTimeoutModbusKeyPress(QChar& Key);
  void EditAddressModbusKeyPress(QChar& Key);
  void Edit_addressKeyPress(QChar& Key);

  void applySettings(const WindowSettings& s);
  void collectSettings(WindowSettings& s) const;
  void setEnglishTexts();

 private:
  class PortLink;
  class WindowView;
  struct Readout;
  QWidget* buildReadoutPanel(QWidget* page);
  void layOutReadoutPanel(QWidget* ro);
  void buildTable(QWidget* page, QVBoxLayout* left);
  void wire();
  int slaveAddress() const;

  WindowHost& host_;
  CsvFiles& files_;
  SerialLinkBox link_;

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
  TTimer* Timer_modbus = nullptr;
  TTimer* Timer_auto = nullptr;

  std::unique_ptr<CommandsBox> commands_;
  // Destroyed before the link's port.
  std::unique_ptr<Readout> readout_;
};

}  // namespace ostrel
