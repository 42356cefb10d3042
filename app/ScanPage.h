#pragma once
// The first page: the panel's own RS-232 link, the scan buttons, the loop
// table with the panel information beside it, and the device table with its
// Load, Save and "Clear table" buttons. The scan itself is panel::PanelScan;
// it reaches this page through PanelWindowView.
#include <QChar>
#include <QStringList>
#include <memory>

#include "SerialLinkBox.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;
class QWidget;

namespace ostrel::panel {
enum class PanelLabel;
class PanelScan;
}  // namespace ostrel::panel

namespace ostrel {

class CsvFiles;
class TStringGrid;
class TTimer;
class TUpDown;
class WindowHost;
struct WindowSettings;

class ScanPage {
 public:
  ScanPage(QWidget* page, WindowHost& host, CsvFiles& files, std::shared_ptr<serial::TVaMainThreadSync> sync);
  ~ScanPage();
  ScanPage(const ScanPage&) = delete;
  ScanPage& operator=(const ScanPage&) = delete;

  SerialLinkBox& link() { return link_; }
  // The scan, made on first use.
  panel::PanelScan& scan();

  // ---- what the scan shows ----
  void setPanelInfo(panel::PanelLabel which, const QString& text);
  // Adds a row at the bottom of the loop table.
  void addLoopRow(const QStringList& cells);
  // Fills the spare bottom row of the device table and adds a new spare row.
  void addDeviceRow(const QStringList& cells);
  void setScanTimer(bool on);

  // ---- handlers ----
  void Butt_open_portClick();
  void BitBtn1Click();
  void BitBtn2Click();
  void Comm1RxChar();
  void Timer_free_commandTimer();
  void Butt_save_dataClick();
  void Butt_load_dataClick();
  void Butt_clear_gridClick();
  void Combo_com_speedKeyPress(QChar& Key);
  void Combo_stopKeyPress(QChar& Key);
  void Edit_timeoutKeyPress(QChar& Key);

  void applySettings(const WindowSettings& s);
  void collectSettings(WindowSettings& s) const;
  void setEnglishTexts();
  // The panel information starts empty.
  void clearPanelInfo();

 private:
  struct PanelLink;
  void build(QWidget* page);
  void buildResponseTimeout();
  void buildLoopTable(QWidget* page, QVBoxLayout* v);
  void buildDeviceTable(QWidget* page, QVBoxLayout* v);
  void wire();

  WindowHost& host_;
  CsvFiles& files_;
  SerialLinkBox link_;
  std::unique_ptr<PanelLink> panelLink_;

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
  TTimer* Timer_free_command = nullptr;
};

}  // namespace ostrel
