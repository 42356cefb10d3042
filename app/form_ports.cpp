// Connecting and disconnecting the two serial ports.
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <algorithm>
#include <chrono>
#include <thread>

#include "QtMainThreadSync.h"
#include "TForm1.h"
#include "core/DeviceProbe.h"
#include "core/LineDefaults.h"
#include "core/PortSetup.h"
#include "serial/VaComm.h"
#include "serial/platform/SystemDevice.h"

namespace ostrel {

using namespace serial;

void TForm1::CommDeleter::operator()(TVaComm* port) const { delete port; }

namespace {

const QString kIsClosed = QStringLiteral(" is closed");

// The fixed configuration both ports share.
void configurePort(TVaComm& port, const std::shared_ptr<TVaMainThreadSync>& sync) {
  UseNoHandshake(port);
  port.SetDeviceName("COM%d");
  port.SetWritePriority(tpNormal);
  port.SetMainThreadSync(sync);
  port.SetDeviceOpener([](const std::string& name, int& err) { return OpenSystemDevice(PortDevicePath(name), err); });
}

struct LinkControls {
  QComboBox* name;
  QComboBox* speed;
  QComboBox* parity;
  QComboBox* stop;
  QPushButton* button;
  int panel;
  TVaBaudrate preset;
  TVaStopbits otherStopbits;
  const char* closedLine;
  bool extraRates;          // the Modbus list's 28800, 33600 and 115200
  std::string* openedPath;  // the device the link holds while connected
};

void setEnabled(const LinkControls& c, bool on) {
  for (QComboBox* box : {c.name, c.speed, c.parity, c.stop}) box->setEnabled(on);
}

}  // namespace

void TForm1::CreatePorts() {
  auto sync = std::make_shared<QtMainThreadSync>();
  // Errors that the ports raise outside a handler of ours (a handler that
  // failed, a lost device) reach the user here, on the main thread.
  auto report = [this](TVaComm* port) {
    return [this, port](const std::exception& e) {
      if (port->DeviceLost()) {
        ReportDeviceLost(port);
        AddLogLine(QString::fromUtf8(e.what()));
      } else {
        dialogs().message(QStringLiteral("Ostrel"), QString::fromUtf8(e.what()), QMessageBox::Critical,
                          QMessageBox::Ok);
      }
    };
  };
  Comm1.reset(new TVaComm());
  Comm2.reset(new TVaComm());
  configurePort(*Comm1, sync);
  configurePort(*Comm2, sync);
  Comm1->ErrorReport = report(Comm1.get());
  Comm2->ErrorReport = report(Comm2.get());
  Comm1->OnRxChar = [this](TVaCustomComm*, int32_t) { Comm1RxChar(); };
  Comm2->OnRxChar = [this](TVaCustomComm*, int32_t) { Comm2RxChar(); };
}

void TForm1::ReportDeviceLost(TVaComm* port) {
  const int panel = port == Comm1.get() ? 0 : 1;
  StatusBar1->setPanelText(panel,
                           QString::fromStdString(port->DeviceName()) + QStringLiteral(" is no longer available"));
}

namespace {

// The connect's speed list as the port's rate: a rate without a constant of its own only where
// the link offers such rates, anything else leaves the link's preset.
void applySpeed(TVaComm& port, const LinkControls& c) {
  port.SetBaudrate(c.preset);
  bool ok = false;
  const int speed = c.speed->currentText().toInt(&ok);
  const int rate = ok ? speed : static_cast<int>(baudrateValue(c.preset));
  // Every link offers these; the Modbus link also the rates above 19200 its list holds.
  static constexpr int kEveryLink[] = {300, 1200, 2400, 4800, 9600, 19200};
  static constexpr int kExtra[] = {28800, 33600, 115200};
  const auto offers = [rate](const auto& rates) {
    return std::find(std::begin(rates), std::end(rates), rate) != std::end(rates);
  };
  if (offers(kEveryLink) || (c.extraRates && offers(kExtra))) SetLineRate(port, static_cast<uint32_t>(rate));
}

// The parity list's text as the port's parity; an unknown text keeps Even.
TVaParity parityOf(const QString& text) {
  for (const auto& named : kParityNames)
    if (text == QLatin1String(named.name)) return named.parity;
  return paEven;
}

void disconnectLink(TForm1& w, TVaComm& port, bool& flag, const LinkControls& c) {
  // The device is released by ClosePort, once.
  w.StatusBar1->setPanelText(c.panel, QString::fromStdString(port.DeviceName()) + kIsClosed);
  flag = false;
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  port.ClosePort();
  c.openedPath->clear();
  setEnabled(c, true);
  w.AddLogLine(QString::fromLatin1(c.closedLine));
  c.button->setText(QStringLiteral("Connect to port"));
}

void connectLink(TForm1& w, TVaComm& port, bool& flag, const LinkControls& c) {
  const QString nameText = c.name->currentText();
  port.SetDeviceName("\\\\.\\" + nameText.toStdString());

  const std::string path = PortDevicePath(port.DeviceName());
  const ProbeResult probe = DeviceProbe(path);
  if (!probe.ok()) {
    const std::string text = ProbeMessage(probe, nameText.toStdString(), path, PortMapFolder());
    w.dialogs().message(QString::fromLatin1(kConnectTitle), QString::fromStdString(text), QMessageBox::Warning,
                        QMessageBox::Ok);
    w.StatusBar1->setPanelText(c.panel, QString::fromStdString(port.DeviceName()) + kIsClosed);
    flag = false;
    return;
  }

  applySpeed(port, c);
  const QString parity = c.parity->currentText();
  port.SetParity(parityOf(parity));
  const QString stop = c.stop->currentText();
  port.SetStopbits(stop == QLatin1String("1") ? sb1 : stop == QLatin1String("2") ? sb2 : c.otherStopbits);
  port.SetDatabits(db8);

  port.OpenPort();  // an error here goes to the general error report
  *c.openedPath = path;

  const QString connection = nameText + QStringLiteral(" - ") + c.speed->currentText() + QStringLiteral(",8,") + parity;
  w.StatusBar1->setPanelText(c.panel, connection);
  flag = true;
  w.AddLogLine(connection);
  setEnabled(c, false);
  c.button->setText(QStringLiteral("Disconnect"));
}

void toggle(TForm1& w, TVaComm& port, bool& flag, const LinkControls& c) {
  if (flag)
    disconnectLink(w, port, flag, c);
  else
    connectLink(w, port, flag, c);
}

}  // namespace

void TForm1::TogglePanelPort() {
  toggle(*this, *Comm1, fpPortOpen,
         {Combo_com_name, Combo_com_speed, Combo_com_parity, Combo_stop, Butt_open_port, 0,
          BaudrateConstant(kPanelLineDefaults.speed), kPanelLineDefaults.stop, "Serial port closed", false,
          &panelDevicePath});
  PortsChanged();
}

void TForm1::ToggleModbusPort() {
  toggle(*this, *Comm2, modbusPortOpen,
         {Combo_com2_name, Combo_com2_speed, Combo_com2_parity, Combo_com2_stop, Butt_open_port2, 1,
          BaudrateConstant(kModbusLineDefaults.speed), kModbusLineDefaults.stop, "Serial port for modbus closed", true,
          &modbusDevicePath});
  PortsChanged();
}

void TForm1::Butt_open_portClick() { TogglePanelPort(); }
void TForm1::Butt_open_port2Click() { ToggleModbusPort(); }

std::vector<OwnUse> TForm1::OwnPortUse() const {
  std::vector<OwnUse> use;
  if (fpPortOpen) use.push_back({panelDevicePath, "Ostrel's panel link"});
  if (modbusPortOpen) use.push_back({modbusDevicePath, "Ostrel's Modbus link"});
  return use;
}

void TForm1::AutoConnectPorts() {
  if (CB_open_port->isChecked()) Butt_open_portClick();
  if (CB_open_port2->isChecked()) Butt_open_port2Click();
}

void TForm1::DisconnectPortsOnClose() {
  if (fpPortOpen) Butt_open_portClick();
  if (modbusPortOpen) Butt_open_port2Click();
}

}  // namespace ostrel
