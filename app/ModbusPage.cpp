// The Modbus register read-out and its automatic polling.
#include "ModbusPage.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QTime>
#include <QVBoxLayout>
#include <chrono>
#include <thread>

#include "Controls.h"
#include "CsvFiles.h"
#include "SettingsTable.h"
#include "TStringGrid.h"
#include "TTimer.h"
#include "TUpDown.h"
#include "TimeText.h"
#include "WindowHost.h"
#include "common/ReadPieces.h"
#include "core/Csv.h"
#include "core/PortSetup.h"
#include "modbus/codes.h"
#include "modbus/decode.h"
#include "modbus/readout.h"
#include "serial/VaComm.h"

namespace ostrel {

// The request senders' view of the link's port. The pauses block the event
// loop, as the send procedure requires.
class ModbusPage::PortLink : public modbus::ModbusLink {
 public:
  explicit PortLink(SerialLinkBox& link) : port_(link.port()) {}
  void PurgeAll() override { port_.PurgeAll(); }
  void SetRts(bool on) override { port_.SetRtsLine(on); }
  bool WriteByte(uint8_t byte) override { return port_.WriteByte(byte); }
  void WaitUntilSent() override { port_.WaitUntilSent(); }
  int OutputSpace() override { return port_.OutputSpace(); }
  void SleepMs(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

 private:
  serial::TVaComm& port_;
};

// The read-out's view of the window: the log pane, the reply check's status
// panel, the register table and the two timers.
class ModbusPage::WindowView : public modbus::ReadoutView {
 public:
  WindowView(ModbusPage& page) : page_(page) {}
  void AddLogLine(const std::string& line) override { page_.host_.AddLogLine(QString::fromUtf8(line)); }
  void SetCrcStatusText(const std::string& text) override { page_.host_.showStatus(2, QString::fromUtf8(text)); }
  int RowCount() override { return page_.gridInputRegisters->RowCount(); }
  void SetRowCount(int rows) override { page_.gridInputRegisters->setRowCount(rows); }
  void SetCell(int col, int row, const std::string& text) override {
    page_.gridInputRegisters->setCells(col, row, QString::fromUtf8(text));
  }
  std::string TimeOfDay() override { return LongTimeText(QTime::currentTime()).toStdString(); }
  void SetModbusTimerInterval(int ms) override { page_.Timer_modbus->setInterval(ms); }
  void SetModbusTimerEnabled(bool on) override { page_.Timer_modbus->setEnabled(on); }
  void SetAutoTimerInterval(int ms) override { page_.Timer_auto->setInterval(ms); }
  void SetAutoTimerEnabled(bool on) override { page_.Timer_auto->setEnabled(on); }

 private:
  ModbusPage& page_;
};

struct ModbusPage::Readout {
  explicit Readout(ModbusPage& page) : link(page.link_), view(page), master(link, view) {}
  PortLink link;
  WindowView view;
  modbus::ModbusMaster master;
};

namespace {

LinkBoxPlan modbusLinkPlan(ModbusPage& page) {
  return {"GroupBox2",
          "Label5",
          "Combo_com2_name",
          "Label13",
          "Combo_com2_speed",
          "Label14",
          "Combo_com2_parity",
          "Label15",
          "Combo_com2_stop",
          "CB_open_port2",
          "Butt_open_port2",
          "Automatically open on startup",
          {"300", "1200", "2400", "4800", "9600", "19200", "28800", "33600", "115200"},
          {0, 0, 0, 0},
          LinkBoxPlan::Layout::Columns,
          1,
          kModbusLineDefaults,
          "Serial port for modbus closed",
          true,
          "Ostrel's Modbus link",
          [&page](QChar& k) { page.Combo_com2_speedKeyPress(k); },
          [&page](QChar& k) { page.Combo_com2_stopKeyPress(k); },
          [&page] { page.Butt_open_port2Click(); },
          [&page] { page.Comm2RxChar(); }};
}

modbus::Rgb rgb(const QColor& c) {
  return {static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()), static_cast<uint8_t>(c.blue())};
}

QColor qcolor(const modbus::Rgb& c) { return QColor(c.r, c.g, c.b); }

}  // namespace

ModbusPage::ModbusPage(QWidget* page, WindowHost& host, CsvFiles& files,
                       std::shared_ptr<serial::TVaMainThreadSync> sync)
    : host_(host), files_(files), link_(page, host, modbusLinkPlan(*this), std::move(sync)) {
  auto* h = new QHBoxLayout(page);
  auto* left = new QVBoxLayout;
  h->addLayout(left, 1);
  auto* top = new QHBoxLayout;
  top->addWidget(link_.box());
  top->addWidget(buildReadoutPanel(page));
  top->addStretch();
  left->addLayout(top);
  buildTable(page, left);
  commands_ = std::make_unique<CommandsBox>(
      page, host,
      CommandTarget{[this]() -> modbus::ModbusMaster& { return modbusMaster(); }, [this] { return link_.isOpen(); },
                    [this] { return slaveAddress(); }});
  h->addWidget(commands_->box());
  Timer_modbus = new TTimer(QStringLiteral("Timer_modbus"), 1000, true, page);  // the reply wait
  Timer_auto = new TTimer(QStringLiteral("Timer_auto"), 1000, false, page);
  wire();
}

ModbusPage::~ModbusPage() = default;

// Read-out controls to the right of the port settings.
QWidget* ModbusPage::buildReadoutPanel(QWidget* page) {
  auto* ro = new QWidget(page);
  ro->setObjectName(QStringLiteral("readoutPanel"));
  Label16 = MakeLabel(ro, "Label16", "INPUT REGISTERS");
  QFont bold = Label16->font();
  bold.setBold(true);
  Label16->setFont(bold);
  Label17 = MakeLabel(ro, "Label17", "Address");
  EditInputAddress = MakeEdit(ro, "EditInputAddress", "1", 5);
  Label18 = MakeLabel(ro, "Label18", "Count");
  EditInputCount = MakeEdit(ro, "EditInputCount", "125", 3);
  BitBtn3 = MakeButton(ro, "BitBtn3", "Read registers", QStyle::SP_ArrowDown);
  Label20 = MakeLabel(ro, "Label20", "Timeout, ms");
  EditTimeoutModbus = MakeEdit(ro, "EditTimeoutModbus", "50", 5, true);
  UD_modbusTimeout = new TUpDown(QStringLiteral("UD_modbusTimeout"), EditTimeoutModbus, 50, 20000, 50, 50);
  Label19 = MakeLabel(ro, "Label19", "Address");
  EditAddressModbus = MakeEdit(ro, "EditAddressModbus", "1", 2);
  UDmodbusAddress = new TUpDown(QStringLiteral("UDmodbusAddress"), EditAddressModbus, modbus::kFirstSlaveAddress,
                                modbus::kLastWindowSlaveAddress, 1, 1);
  ProgressBar1 = new QProgressBar(ro);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->hide();
  EditInputAddress->setFixedWidth(60);
  EditInputCount->setFixedWidth(60);
  layOutReadoutPanel(ro);
  return ro;
}

void ModbusPage::layOutReadoutPanel(QWidget* ro) {
  auto* rg = new QGridLayout(ro);
  rg->addWidget(Label16, 0, 0, 1, 4);
  rg->addWidget(Label17, 1, 0);
  rg->addWidget(EditInputAddress, 1, 1);
  rg->addWidget(Label20, 1, 2);
  rg->addWidget(SpinPair(ro, EditTimeoutModbus, UD_modbusTimeout, 60), 1, 3);
  rg->addWidget(Label18, 2, 0);
  rg->addWidget(EditInputCount, 2, 1);
  rg->addWidget(Label19, 2, 2);
  rg->addWidget(SpinPair(ro, EditAddressModbus, UDmodbusAddress, 40), 2, 3);
  rg->addWidget(BitBtn3, 3, 0, 1, 2);
  rg->addWidget(ProgressBar1, 4, 0, 1, 4);
  rg->setRowStretch(5, 1);
}

// The register table with the export, "Clear grid" and "Set address" below it.
void ModbusPage::buildTable(QWidget* page, QVBoxLayout* left) {
  gridInputRegisters =
      new TStringGrid(QStringLiteral("gridInputRegisters"), 6, 2, 1, 0, {72, 77, 141, 74, 147, 64}, page);
  gridInputRegisters->setMinimumWidth(gridInputRegisters->ColumnsWidth() + 24);
  left->addWidget(gridInputRegisters, 1);

  auto* row = new QHBoxLayout;
  BitBtn8 = MakeButton(page, "BitBtn8", "Export", QStyle::SP_DialogSaveButton);
  BitBtn4 = MakeButton(page, "BitBtn4", "Clear grid", QStyle::SP_DialogResetButton);
  Edit_address = MakeEdit(page, "Edit_address", "1", 3);
  Edit_address->setFixedWidth(40);
  BitBtn12 = MakeButton(page, "BitBtn12", "Set address");
  row->addWidget(BitBtn8);
  row->addWidget(BitBtn4);
  row->addStretch();
  row->addWidget(Edit_address);
  row->addWidget(BitBtn12);
  left->addLayout(row);
}

void ModbusPage::wire() {
  for (auto [button, handler] :
       {std::pair{BitBtn8, &ModbusPage::BitBtn8Click}, std::pair{BitBtn4, &ModbusPage::BitBtn4Click},
        std::pair{BitBtn3, &ModbusPage::BitBtn3Click}, std::pair{BitBtn12, &ModbusPage::BitBtn12Click}})
    QObject::connect(button, &QPushButton::clicked, button, host_.guarded(this, handler));
  QObject::connect(Timer_modbus, &TTimer::Timer, Timer_modbus, host_.guarded(this, &ModbusPage::Timer_modbusTimer));
  QObject::connect(Timer_auto, &TTimer::Timer, Timer_auto, host_.guarded(this, &ModbusPage::Timer_autoTimer));
  gridInputRegisters->setDrawCell([this](int c, int r, const QRect& rect, QPainter* p, const QStyleOptionViewItem& s) {
    gridInputRegistersDrawCell(c, r, rect, p, s);
  });
  const std::pair<QWidget*, void (ModbusPage::*)(QChar&)> numberFields[] = {
      {EditInputAddress, &ModbusPage::EditInputAddressKeyPress},
      {EditInputCount, &ModbusPage::EditInputCountKeyPress},
      {EditTimeoutModbus, &ModbusPage::EditTimeoutModbusKeyPress},
      {EditAddressModbus, &ModbusPage::EditAddressModbusKeyPress},
      {Edit_address, &ModbusPage::Edit_addressKeyPress}};
  for (auto [field, handler] : numberFields) FilterDigits(field, [this, h = handler](QChar& k) { (this->*h)(k); });
}

modbus::ModbusMaster& ModbusPage::modbusMaster() {
  if (!readout_) readout_ = std::make_unique<Readout>(*this);
  return readout_->master;
}

int ModbusPage::slaveAddress() const { return UDmodbusAddress->Position(); }

namespace {

modbus::ReadControls readControls(SerialLinkBox& link, const QLineEdit& start, const QLineEdit& count, int slave,
                                  int timeoutMs) {
  modbus::ReadControls c;
  c.portOpen = link.isOpen();
  c.deviceLost = link.port().DeviceLost();
  c.start = start.text().toStdString();
  c.count = count.text().toStdString();
  c.slave = slave;
  c.timeoutMs = timeoutMs;
  return c;
}

}  // namespace

void ModbusPage::Butt_open_port2Click() { link_.toggle(); }

void ModbusPage::BitBtn3Click() {
  modbusMaster().ReadRegisters(
      readControls(link_, *EditInputAddress, *EditInputCount, slaveAddress(), UD_modbusTimeout->Position()));
}

void ModbusPage::BitBtn4Click() { modbusMaster().ClearTable(); }

void ModbusPage::BitBtn8Click() { files_.save(*gridInputRegisters, QString::fromLatin1(kRegisterExportFileName)); }

void ModbusPage::BitBtn12Click() {
  modbusMaster().SetSlaveAddress(Edit_address->text().toStdString(), link_.isOpen(), slaveAddress());
}

void ModbusPage::Comm2RxChar() {
  serial::TVaComm& port = link_.port();
  if (!port.IsOpen()) return;
  const int32_t waiting = port.InputCount();
  if (waiting <= 0) return;
  const std::string bytes = ReadAnnounced(static_cast<size_t>(waiting), ReaderOf(port));
  if (!bytes.empty()) modbusMaster().CollectReply(bytes);
}

void ModbusPage::Timer_modbusTimer() {
  modbusMaster().ReplyWaitEnded(commands_->automaticReadout(), EditInputAddress->text().toStdString());
}

void ModbusPage::Timer_autoTimer() {
  modbusMaster().AutomaticReadout(
      readControls(link_, *EditInputAddress, *EditInputCount, slaveAddress(), UD_modbusTimeout->Position()));
}

void ModbusPage::gridInputRegistersDrawCell(int ACol, int ARow, const QRect& Rect, QPainter* painter,
                                            const QStyleOptionViewItem& /*State*/) {
  const QPalette& pal = gridInputRegisters->palette();
  const QString text = gridInputRegisters->Cells(ACol, ARow);
  const modbus::CellColours colours = modbus::CellColour(ARow, text.toStdString(), rgb(pal.color(QPalette::Button)),
                                                         rgb(pal.color(QPalette::Highlight)));
  painter->save();
  painter->setClipRect(Rect);
  painter->fillRect(Rect, qcolor(colours.background));
  painter->setFont(gridInputRegisters->font());
  painter->setPen(qcolor(colours.text));
  painter->drawText(Rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
  painter->restore();
}

void ModbusPage::Combo_com2_speedKeyPress(QChar& Key) { DigitsOnly(Key); }
void ModbusPage::Combo_com2_stopKeyPress(QChar& Key) { DigitsOnly(Key); }
void ModbusPage::EditInputAddressKeyPress(QChar& Key) { DigitsOnly(Key); }
void ModbusPage::EditInputCountKeyPress(QChar& Key) { DigitsOnly(Key); }
void ModbusPage::EditTimeoutModbusKeyPress(QChar& Key) { DigitsOnly(Key); }
void ModbusPage::EditAddressModbusKeyPress(QChar& Key) { DigitsOnly(Key); }
void ModbusPage::Edit_addressKeyPress(QChar& Key) { DigitsOnly(Key); }

void ModbusPage::applySettings(const WindowSettings& s) {
  link_.apply(s.modbusLink);
  UD_modbusTimeout->setPosition(SpinPosition(s.modbusTimeout));
  UDmodbusAddress->setPosition(SpinPosition(s.slaveAddress));
  EditInputAddress->setText(QString::fromStdString(s.startAddress));
  EditInputCount->setText(QString::fromStdString(s.registerCount));
}

void ModbusPage::collectSettings(WindowSettings& s) const {
  s.modbusLink = link_.settings();
  s.modbusTimeout = UD_modbusTimeout->Position();
  s.slaveAddress = UDmodbusAddress->Position();
  s.startAddress = EditInputAddress->text().toStdString();
  s.registerCount = EditInputCount->text().toStdString();
}

void ModbusPage::setEnglishTexts() {
  static const char* const registers[] = {"Addr. modbus", "High ", "Notes/Decode ", "Low ", "Notes/Decode ", "Time "};
  for (int c = 0; c < 6; ++c) gridInputRegisters->setCells(c, 0, QString::fromUtf8(registers[c]));
}

}  // namespace ostrel
