// The Modbus register read-out and its automatic polling.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPainter>
#include <QTime>
#include <chrono>
#include <thread>

#include "TForm1.h"
#include "TimeText.h"
#include "common/ReadPieces.h"
#include "core/PortSetup.h"
#include "modbus/decode.h"
#include "modbus/readout.h"
#include "serial/VaComm.h"

namespace ostrel {

namespace {

// The request senders' view of Comm2. The pauses block the event loop, as the
// send procedure requires.
class Comm2Link : public modbus::ModbusLink {
 public:
  explicit Comm2Link(TForm1& w) : w_(w) {}
  void PurgeAll() override { w_.Comm2->PurgeAll(); }
  void SetRts(bool on) override { w_.Comm2->SetRtsLine(on); }
  bool WriteByte(uint8_t byte) override { return w_.Comm2->WriteByte(byte); }
  void WaitUntilSent() override { w_.Comm2->WaitUntilSent(); }
  int OutputSpace() override { return w_.Comm2->OutputSpace(); }
  void SleepMs(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

 private:
  TForm1& w_;
};

// The read-out's view of the window: log pane, status panel 2, the register
// table and the two timers.
class WindowReadoutView : public modbus::ReadoutView {
 public:
  explicit WindowReadoutView(TForm1& w) : w_(w) {}
  void AddLogLine(const std::string& line) override { w_.AddLogLine(QString::fromUtf8(line)); }
  void SetCrcStatusText(const std::string& text) override { w_.StatusBar1->setPanelText(2, QString::fromUtf8(text)); }
  int RowCount() override { return w_.gridInputRegisters->RowCount(); }
  void SetRowCount(int rows) override { w_.gridInputRegisters->setRowCount(rows); }
  void SetCell(int col, int row, const std::string& text) override {
    w_.gridInputRegisters->setCells(col, row, QString::fromUtf8(text));
  }
  std::string TimeOfDay() override { return LongTimeText(QTime::currentTime()).toStdString(); }
  void SetModbusTimerInterval(int ms) override { w_.Timer_modbus->setInterval(ms); }
  void SetModbusTimerEnabled(bool on) override { w_.Timer_modbus->setEnabled(on); }
  void SetAutoTimerInterval(int ms) override { w_.Timer_auto->setInterval(ms); }
  void SetAutoTimerEnabled(bool on) override { w_.Timer_auto->setEnabled(on); }

 private:
  TForm1& w_;
};

modbus::Rgb rgb(const QColor& c) {
  return {static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()), static_cast<uint8_t>(c.blue())};
}

QColor qcolor(const modbus::Rgb& c) { return QColor(c.r, c.g, c.b); }

}  // namespace

struct TForm1::ModbusReadout {
  explicit ModbusReadout(TForm1& w) : link(w), view(w), master(link, view) {}
  Comm2Link link;
  WindowReadoutView view;
  modbus::ModbusMaster master;
};

void TForm1::ModbusReadoutDeleter::operator()(ModbusReadout* r) const { delete r; }

modbus::ModbusMaster& TForm1::modbusMaster() {
  if (!modbus_) modbus_.reset(new ModbusReadout(*this));
  return modbus_->master;
}

namespace {

modbus::ReadControls readControls(const TForm1& w) {
  modbus::ReadControls c;
  c.portOpen = w.modbusPortOpen;
  c.deviceLost = w.Comm2 && w.Comm2->DeviceLost();
  c.start = w.EditInputAddress->text().toStdString();
  c.count = w.EditInputCount->text().toStdString();
  c.slave = w.UDmodbusAddress->Position();
  c.timeoutMs = w.UD_modbusTimeout->Position();
  return c;
}

}  // namespace

void TForm1::BitBtn3Click() { modbusMaster().ReadRegisters(readControls(*this)); }

void TForm1::BitBtn4Click() { modbusMaster().ClearTable(); }

void TForm1::Comm2RxChar() {
  if (!Comm2 || !Comm2->IsOpen()) return;
  const int32_t waiting = Comm2->InputCount();
  if (waiting <= 0) return;
  const std::string bytes = ReadAnnounced(static_cast<size_t>(waiting), ReaderOf(*Comm2));
  if (!bytes.empty()) modbusMaster().CollectReply(bytes);
}

void TForm1::Timer_modbusTimer() {
  modbusMaster().ReplyWaitEnded(CheckBox1->isChecked(), EditInputAddress->text().toStdString());
}

void TForm1::Timer_autoTimer() { modbusMaster().AutomaticReadout(readControls(*this)); }

void TForm1::CheckBox1Click() { modbusMaster().SetAutomaticReadout(CheckBox1->isChecked()); }

void TForm1::Edit_autoChange() { modbusMaster().AutomaticPeriodChanged(UD_auto->Position()); }

void TForm1::gridInputRegistersDrawCell(int ACol, int ARow, const QRect& Rect, QPainter* painter,
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

}  // namespace ostrel
