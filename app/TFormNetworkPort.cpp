#include "TFormNetworkPort.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/DeviceMapFolder.h"
#include "core/NetworkPortCheck.h"
#include "serial/NetworkAddress.h"

namespace ostrel {

namespace {

template <class W>
W* named(W* w, const char* name) {
  w->setObjectName(QLatin1String(name));
  return w;
}

}  // namespace

TFormNetworkPort::TFormNetworkPort(QWidget* parent, std::string folder) : QDialog(parent), folder_(std::move(folder)) {
  setObjectName(QStringLiteral("FormNetworkPort"));
  setWindowTitle(QStringLiteral("Network port"));
  auto* grid = new QGridLayout(this);
  Combo_network_com = named(new QComboBox(this), "Combo_network_com");
  Combo_network_com->setEditable(true);
  for (int n = 1; n <= 20; ++n) Combo_network_com->addItem(QStringLiteral("COM%1").arg(n));
  Edit_network_url = named(new QLineEdit(this), "Edit_network_url");
  Edit_network_url->setPlaceholderText(QStringLiteral("rfc2217://10.0.4.7:4001  or  tcp://host:port"));
  Edit_network_url->setMinimumWidth(360);
  Butt_network_test = named(new QPushButton(QStringLiteral("Test connection"), this), "Butt_network_test");
  Butt_network_save = named(new QPushButton(QStringLiteral("Give COM name"), this), "Butt_network_save");
  Butt_network_remove = named(new QPushButton(QStringLiteral("Remove COM name"), this), "Butt_network_remove");
  Butt_network_close = named(new QPushButton(QStringLiteral("Close"), this), "Butt_network_close");
  Label_network_message = named(new QLabel(this), "Label_network_message");
  Label_network_message->setWordWrap(true);
  Label_network_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* notes = new QLabel(QStringLiteral("RFC 2217 and raw TCP carry no authentication or encryption: use them on a "
                                          "trusted network or through a tunnel (ssh -L)."),
                           this);
  notes->setWordWrap(true);
  grid->addWidget(new QLabel(QStringLiteral("COM name"), this), 0, 0);
  grid->addWidget(Combo_network_com, 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("URL"), this), 1, 0);
  grid->addWidget(Edit_network_url, 1, 1);
  auto* row = new QHBoxLayout;
  for (QPushButton* b : {Butt_network_test, Butt_network_save, Butt_network_remove}) row->addWidget(b);
  row->addStretch(1);
  row->addWidget(Butt_network_close);
  grid->addLayout(row, 2, 0, 1, 2);
  grid->addWidget(Label_network_message, 3, 0, 1, 2);
  grid->addWidget(notes, 4, 0, 1, 2);
  connect(Butt_network_test, &QPushButton::clicked, this, &TFormNetworkPort::Butt_network_testClick);
  connect(Butt_network_save, &QPushButton::clicked, this, &TFormNetworkPort::Butt_network_saveClick);
  connect(Butt_network_remove, &QPushButton::clicked, this, &TFormNetworkPort::Butt_network_removeClick);
  connect(Butt_network_close, &QPushButton::clicked, this, &QDialog::close);
  connect(Combo_network_com, &QComboBox::currentTextChanged, this, &TFormNetworkPort::Combo_network_comChange);
  Combo_network_comChange();
}

void TFormNetworkPort::say(bool ok, const std::string& text) {
  Label_network_message->setText(QString::fromStdString(text));
  Label_network_message->setStyleSheet(ok ? QString() : QStringLiteral("color: darkred"));
}

void TFormNetworkPort::Combo_network_comChange() {
  const std::string name = CanonicalComName(Combo_network_com->currentText().toStdString());
  const DeviceMapListing map = ReadDeviceMap(folder_);
  for (const MapEntry& e : map.entries)
    if (e.name == name && serial::IsNetworkUrl(e.target))
      return Edit_network_url->setText(QString::fromStdString(e.target));
}

void TFormNetworkPort::Butt_network_testClick() {
  // Connecting waits a bounded time (see NetworkDevice.h); the dialog says so meanwhile.
  say(true, "Connecting to " + Edit_network_url->text().trimmed().toStdString() + " …");
  QApplication::processEvents();
  const NetworkPortCheck check = CheckNetworkPort(Edit_network_url->text().trimmed().toStdString());
  say(check.ok, check.message);
}

void TFormNetworkPort::Butt_network_saveClick() {
  const std::string typed = Combo_network_com->currentText().trimmed().toStdString();
  const std::string name = CanonicalComName(typed);
  if (name.empty()) return say(false, ComNameRangeText(typed));
  std::string why;
  const auto address = serial::ParseNetworkUrl(Edit_network_url->text().trimmed().toStdString(), why);
  if (!address) return say(false, why);
  if (address->kind == serial::TVaNetworkKind::ModbusTcp)
    return say(false, "modbus-tcp:// is for ostrel-cli's Modbus commands; a COM name needs rfc2217:// or tcp://");
  const MapChange change = SetComName(folder_, name, address->url());
  say(change.ok, change.message);
}

void TFormNetworkPort::Butt_network_removeClick() {
  const std::string typed = Combo_network_com->currentText().trimmed().toStdString();
  const std::string name = CanonicalComName(typed);
  if (name.empty()) return say(false, ComNameRangeText(typed));
  const MapChange change = RemoveComName(folder_, name);
  say(change.ok, change.message);
}

}  // namespace ostrel
