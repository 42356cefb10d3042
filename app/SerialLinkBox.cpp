// Connecting and disconnecting a serial link, and the box that chooses it.
#include "SerialLinkBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <algorithm>
#include <chrono>
#include <thread>

#include "Controls.h"
#include "WindowHost.h"
#include "core/DeviceProbe.h"
#include "core/PortSetup.h"
#include "serial/VaComm.h"
#include "serial/platform/SystemDevice.h"

namespace ostrel {

using namespace serial;

namespace {

const QString kIsClosed = QStringLiteral(" is closed");
const QString kConnectText = QStringLiteral("Connect to port");
const QString kBoxTitle = QStringLiteral("   Serial port settings   ");

// The parity list's text as the port's parity; an unknown text keeps Even.
TVaParity parityOf(const QString& text) {
  for (const auto& named : kParityNames)
    if (text == QLatin1String(named.name)) return named.parity;
  return paEven;
}

QString qstr(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

SerialLinkBox::SerialLinkBox(QWidget* parent, WindowHost& host, LinkBoxPlan plan,
                             std::shared_ptr<TVaMainThreadSync> sync)
    : host_(host), plan_(std::move(plan)) {
  build(parent);
  FilterDigits(speed_, plan_.speedKeys);
  FilterDigits(stop_, plan_.stopKeys);
  QObject::connect(button_, &QPushButton::clicked, box_, host_.guarded(plan_.clicked));
  createPort(std::move(sync));
}

SerialLinkBox::~SerialLinkBox() = default;

void SerialLinkBox::build(QWidget* parent) {
  box_ = new QGroupBox(kBoxTitle, parent);
  box_->setObjectName(QLatin1String(plan_.box));
  grid_ = new QGridLayout(box_);
  const auto& max = plan_.maxLengths;
  nameLabel_ = MakeLabel(box_, plan_.nameLabel, QStringLiteral("Name"));
  name_ = MakeCombo(box_, plan_.name, ComNames(), max[0]);
  speedLabel_ = MakeLabel(box_, plan_.speedLabel, QStringLiteral("Speed"));
  speed_ = MakeCombo(box_, plan_.speed, plan_.speeds, max[1]);
  parityLabel_ = MakeLabel(box_, plan_.parityLabel, QStringLiteral("Parity"));
  parity_ = MakeCombo(box_, plan_.parity, ParityNames(), max[2]);
  stopLabel_ = MakeLabel(box_, plan_.stopLabel, QStringLiteral("Stop bits"));
  stop_ = MakeCombo(box_, plan_.stop, {QStringLiteral("1"), QStringLiteral("2")}, max[3]);
  if (plan_.layout == LinkBoxPlan::Layout::Row)
    layOutRow();
  else
    layOutColumns();
}

void SerialLinkBox::makeAutoOpen() { autoOpen_ = MakeCheck(box_, plan_.autoOpen, QLatin1String(plan_.autoOpenText)); }

void SerialLinkBox::makeButton() { button_ = MakeButton(box_, plan_.button, kConnectText, QStyle::SP_MediaPlay); }

// Each list under its label, in one row; the check box and the button below.
void SerialLinkBox::layOutRow() {
  makeAutoOpen();
  makeButton();
  QWidget* const columns[][2] = {
      {nameLabel_, name_}, {speedLabel_, speed_}, {parityLabel_, parity_}, {stopLabel_, stop_}};
  for (int c = 0; c < 4; ++c) {
    grid_->addWidget(columns[c][0], 0, c);
    grid_->addWidget(columns[c][1], 1, c);
  }
  grid_->addWidget(autoOpen_, 2, 0, 1, 3);
  grid_->addWidget(button_, 2, 3, 1, 2);
}

// Two lists a row, each under its label; below them the check box, then the
// button, which comes before the check box in the keyboard's order.
void SerialLinkBox::layOutColumns() {
  makeButton();
  makeAutoOpen();
  QWidget* const cells[][2] = {
      {nameLabel_, speedLabel_}, {name_, speed_}, {parityLabel_, stopLabel_}, {parity_, stop_}};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 2; ++c) grid_->addWidget(cells[r][c], r, c);
  grid_->addWidget(autoOpen_, 4, 0, 1, 2);
  grid_->addWidget(button_, 5, 0, 1, 2);
}

void SerialLinkBox::place(QWidget* control, int row, int column) { grid_->addWidget(control, row, column); }

void SerialLinkBox::createPort(std::shared_ptr<TVaMainThreadSync> sync) {
  port_ = std::make_unique<TVaComm>();
  UseNoHandshake(*port_);
  port_->SetDeviceName("COM%d");
  port_->SetWritePriority(tpNormal);
  port_->SetMainThreadSync(std::move(sync));
  port_->SetDeviceOpener([](const std::string& name, int& err) { return OpenSystemDevice(PortDevicePath(name), err); });
  // Errors that the port raises outside a handler of ours (a handler that
  // failed, a lost device) reach the user here, on the main thread.
  port_->ErrorReport = [this](const std::exception& e) {
    if (port_->DeviceLost()) {
      host_.showStatus(plan_.statusPanel, qstr(port_->DeviceName()) + QStringLiteral(" is no longer available"));
      host_.AddLogLine(QString::fromUtf8(e.what()));
    } else {
      host_.reportError(e);
    }
  };
  port_->OnRxChar = [this](TVaCustomComm*, int32_t) { plan_.received(); };
}

void SerialLinkBox::toggle() {
  if (open_)
    disconnectLink();
  else
    connectLink();
  host_.portsChanged();
}

void SerialLinkBox::showClosed() { host_.showStatus(plan_.statusPanel, qstr(port_->DeviceName()) + kIsClosed); }

void SerialLinkBox::disconnectLink() {
  // The device is released by ClosePort, once.
  showClosed();
  open_ = false;
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  port_->ClosePort();
  openedPath_.clear();
  setListsEnabled(true);
  host_.AddLogLine(QString::fromLatin1(plan_.closedLine));
  button_->setText(kConnectText);
}

void SerialLinkBox::connectLink() {
  const QString nameText = name_->currentText();
  port_->SetDeviceName("\\\\.\\" + nameText.toStdString());

  const std::string path = PortDevicePath(port_->DeviceName());
  if (!deviceUsable(nameText, path)) return;

  applySpeed();
  const QString parity = parity_->currentText();
  port_->SetParity(parityOf(parity));
  const QString stop = stop_->currentText();
  port_->SetStopbits(stop == QLatin1String("1") ? sb1 : stop == QLatin1String("2") ? sb2 : plan_.defaults.stop);
  port_->SetDatabits(db8);

  port_->OpenPort();  // an error here goes to the general error report
  openedPath_ = path;

  const QString connection = nameText + QStringLiteral(" - ") + speed_->currentText() + QStringLiteral(",8,") + parity;
  host_.showStatus(plan_.statusPanel, connection);
  open_ = true;
  host_.AddLogLine(connection);
  setListsEnabled(false);
  button_->setText(QStringLiteral("Disconnect"));
}

bool SerialLinkBox::deviceUsable(const QString& nameText, const std::string& path) {
  const ProbeResult probe = DeviceProbe(path);
  if (probe.ok()) return true;
  const std::string text = ProbeMessage(probe, nameText.toStdString(), path, PortMapFolder());
  host_.dialogs().message(QString::fromLatin1(kConnectTitle), qstr(text), QMessageBox::Warning, QMessageBox::Ok);
  showClosed();
  open_ = false;
  return false;
}

// The speed list's text as the port's rate: a rate without a constant of its own only where
// the link offers such rates, anything else leaves the link's preset.
void SerialLinkBox::applySpeed() {
  const TVaBaudrate preset = BaudrateConstant(plan_.defaults.speed);
  port_->SetBaudrate(preset);
  bool ok = false;
  const int speed = speed_->currentText().toInt(&ok);
  const int rate = ok ? speed : static_cast<int>(baudrateValue(preset));
  // Every link offers these; the Modbus link also the rates above 19200 its list holds.
  static constexpr int kEveryLink[] = {300, 1200, 2400, 4800, 9600, 19200};
  static constexpr int kExtra[] = {28800, 33600, 115200};
  const auto offers = [rate](const auto& rates) {
    return std::find(std::begin(rates), std::end(rates), rate) != std::end(rates);
  };
  if (offers(kEveryLink) || (plan_.extraRates && offers(kExtra))) SetLineRate(*port_, static_cast<uint32_t>(rate));
}

void SerialLinkBox::setListsEnabled(bool on) {
  for (QComboBox* box : {name_, speed_, parity_, stop_}) box->setEnabled(on);
}

std::optional<OwnUse> SerialLinkBox::ownUse() const {
  if (!open_) return std::nullopt;
  return OwnUse{openedPath_, plan_.ownUseLabel};
}

bool SerialLinkBox::autoOpen() const { return autoOpen_->isChecked(); }

void SerialLinkBox::apply(const LinkSettings& s) {
  SetComboText(name_, qstr(s.name));
  SetComboText(speed_, qstr(s.speed));
  SetComboText(parity_, qstr(s.parity));
  SetComboText(stop_, qstr(s.stop));
  autoOpen_->setChecked(s.autoOpen);
}

LinkSettings SerialLinkBox::settings() const {
  return {name_->currentText().toStdString(), speed_->currentText().toStdString(), parity_->currentText().toStdString(),
          stop_->currentText().toStdString(), autoOpen_->isChecked()};
}

void SerialLinkBox::setEnglishTexts() {
  box_->setTitle(kBoxTitle);
  nameLabel_->setText(QStringLiteral("Name"));
  speedLabel_->setText(QStringLiteral("Speed"));
  parityLabel_->setText(QStringLiteral("Parity"));
  button_->setText(kConnectText);
  autoOpen_->setText(QLatin1String(plan_.autoOpenText));
}

}  // namespace ostrel
