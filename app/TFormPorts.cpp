#include "TFormPorts.h"

#include "TFormNetworkPort.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "core/DeviceMap.h"

namespace ostrel {
namespace {

QString qstr(const std::string& s) { return QString::fromStdString(s); }

template <class W>
W* named(W* w, const char* name) {
  w->setObjectName(QLatin1String(name));
  return w;
}

QTableWidget* makeTable(QWidget* parent, const char* name, const QStringList& headers) {
  auto* t = named(new QTableWidget(0, static_cast<int>(headers.size()), parent), name);
  t->setHorizontalHeaderLabels(headers);
  t->setSelectionBehavior(QAbstractItemView::SelectRows);
  t->setSelectionMode(QAbstractItemView::SingleSelection);
  t->setEditTriggers(QAbstractItemView::NoEditTriggers);
  t->verticalHeader()->hide();
  t->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  t->horizontalHeader()->setStretchLastSection(true);
  return t;
}

void setRow(QTableWidget* t, int row, const QStringList& cells) {
  for (int c = 0; c < cells.size(); ++c) t->setItem(row, c, new QTableWidgetItem(cells[c]));
}

// The row whose first cell reads `key`, or -1.
int rowOf(const QTableWidget* t, const QString& key) {
  for (int r = 0; r < t->rowCount(); ++r)
    if (t->item(r, 0) && t->item(r, 0)->text() == key) return r;
  return -1;
}

QString currentKey(const QTableWidget* t) {
  const int r = t->currentRow();
  return r >= 0 && t->item(r, 0) ? t->item(r, 0)->text() : QString();
}

QString useText(const PortStatus& p) {
  return p.usedBy.empty() ? QStringLiteral("free") : QStringLiteral("by ") + qstr(p.usedBy.front());
}

QString accessText(const PortStatus& p) {
  if (p.access.mayOpen) return QStringLiteral("yes");
  return p.access.group.empty() ? QStringLiteral("no") : QStringLiteral("no: group ") + qstr(p.access.group);
}

QString adapterText(const SerialDevice& d) {
  return qstr(d.maker.empty() ? d.product : d.product.empty() ? d.maker : d.maker + " " + d.product);
}

}  // namespace

TFormPorts::TFormPorts(Dialogs& dialogs, Sources sources, QWidget* parent)
    : QDialog(parent), dialogs_(dialogs), sources_(std::move(sources)) {
  setObjectName(QStringLiteral("FormPorts"));
  setWindowTitle(QStringLiteral("Serial ports"));
  buildControls();
  watcher_ = new QFileSystemWatcher(this);
  settle_ = new QTimer(this);
  settle_->setSingleShot(true);
  settle_->setInterval(200);  // udev makes the by-id link a moment after the node
  connect(watcher_, &QFileSystemWatcher::directoryChanged, settle_, qOverload<>(&QTimer::start));
  connect(settle_, &QTimer::timeout, this, &TFormPorts::Refresh);
  connect(GridSerialDevices, &QTableWidget::itemSelectionChanged, this, &TFormPorts::GridSerialDevicesSelect);
  connect(Butt_assign_com, &QPushButton::clicked, this, &TFormPorts::Butt_assign_comClick);
  connect(Butt_remove_com, &QPushButton::clicked, this, &TFormPorts::Butt_remove_comClick);
  connect(Butt_network_port, &QPushButton::clicked, this, &TFormPorts::Butt_network_portClick);
  connect(Butt_close_ports, &QPushButton::clicked, this, &QDialog::close);
  resize(1100, 620);
}

void TFormPorts::buildControls() {
  auto* v = new QVBoxLayout(this);
  Label_ports_notes = named(new QLabel(this), "Label_ports_notes");
  Label_ports_notes->setWordWrap(true);
  GridSerialDevices = makeTable(this, "GridSerialDevices",
                                {"Device", "COM name", "Adapter", "Serial number", "Driver", "In use", "May open"});
  Memo_port_details = named(new QPlainTextEdit(this), "Memo_port_details");
  Memo_port_details->setReadOnly(true);
  Memo_port_details->setMaximumHeight(120);
  Label_map_folder = named(new QLabel(this), "Label_map_folder");
  Label_map_folder->setTextInteractionFlags(Qt::TextSelectableByMouse);
  GridComNames = makeTable(this, "GridComNames", {"COM name", "Leads to", "State"});
  GridComNames->setMaximumHeight(170);

  auto* row = new QHBoxLayout;
  Label_com_map = named(new QLabel(QStringLiteral("COM name"), this), "Label_com_map");
  Combo_com_map = named(new QComboBox(this), "Combo_com_map");
  Combo_com_map->setEditable(true);
  Combo_com_map->setInsertPolicy(QComboBox::NoInsert);
  for (int n = 1; n <= 20; ++n) Combo_com_map->addItem(QStringLiteral("COM%1").arg(n));
  Butt_assign_com = named(new QPushButton(QStringLiteral("Give to device"), this), "Butt_assign_com");
  Butt_assign_com->setDefault(true);  // Enter in the name box gives the name
  Butt_remove_com = named(new QPushButton(QStringLiteral("Remove COM name"), this), "Butt_remove_com");
  Butt_network_port = named(new QPushButton(QStringLiteral("Network port…"), this), "Butt_network_port");
  Butt_close_ports = named(new QPushButton(QStringLiteral("Close"), this), "Butt_close_ports");
  row->addWidget(Label_com_map);
  row->addWidget(Combo_com_map);
  row->addWidget(Butt_assign_com);
  row->addWidget(Butt_remove_com);
  row->addWidget(Butt_network_port);
  row->addStretch(1);
  row->addWidget(Butt_close_ports);

  Label_ports_message = named(new QLabel(this), "Label_ports_message");
  Label_ports_message->setWordWrap(true);
  Label_ports_message->setTextInteractionFlags(Qt::TextSelectableByMouse);

  v->addWidget(Label_ports_notes);
  v->addWidget(GridSerialDevices, 2);
  v->addWidget(Memo_port_details);
  v->addWidget(Label_map_folder);
  v->addWidget(GridComNames, 1);
  v->addLayout(row);
  v->addWidget(Label_ports_message);
}

void TFormPorts::Refresh() {
  const QString device = currentKey(GridSerialDevices);
  const QString name = currentKey(GridComNames);
  SurveyInput in;
  in.root = sources_.root();
  in.mapFolder = sources_.mapFolder();
  in.ownUse = sources_.ownUse();
  in.credentials = Credentials::Current();
  survey_ = SurveyPorts(in);

  QStringList notes;
  for (const std::string& n : survey_.notes) notes << qstr(n);
  if (survey_.ports.empty()) notes << QStringLiteral("The list follows: a device plugged in appears here at once.");
  Label_ports_notes->setText(notes.join(QLatin1Char('\n')));
  Label_ports_notes->setVisible(!notes.isEmpty());
  Label_map_folder->setText(QStringLiteral("COM names in the device map ") + qstr(survey_.map.folder));

  int row;
  {
    const QSignalBlocker quiet(GridSerialDevices);
    fillDevices();
    fillComNames();
    row = rowOf(GridSerialDevices, device);
    GridSerialDevices->setCurrentCell(row < 0 && !survey_.ports.empty() ? 0 : row, 0);
    if (const int r = rowOf(GridComNames, name); r >= 0) GridComNames->setCurrentCell(r, 0);
  }
  // A device chosen anew (the first, or after the chosen one was pulled) gets its name proposed.
  if (row < 0)
    GridSerialDevicesSelect();
  else
    showDetails();
  if (isVisible()) watchFolders();
}

void TFormPorts::fillDevices() {
  GridSerialDevices->setRowCount(static_cast<int>(survey_.ports.size()));
  for (int r = 0; r < GridSerialDevices->rowCount(); ++r) {
    const PortStatus& p = survey_.ports[static_cast<std::size_t>(r)];
    setRow(GridSerialDevices, r,
           {qstr(p.device.path), qstr(p.comNamesText()), adapterText(p.device), qstr(p.device.serialNumber),
            qstr(p.device.driver), useText(p), accessText(p)});
  }
}

void TFormPorts::fillComNames() {
  GridComNames->clearSelection();
  GridComNames->setRowCount(static_cast<int>(survey_.names.size()));
  for (int r = 0; r < GridComNames->rowCount(); ++r) {
    const MappedName& m = survey_.names[static_cast<std::size_t>(r)];
    QString state;
    if (!m.entry.problem.empty())
      state = qstr(m.entry.problem);
    else if (m.device >= 0)
      state = qstr(survey_.ports[static_cast<std::size_t>(m.device)].device.name);
    else
      state = QStringLiteral("a device that is not listed above");
    const std::string target = m.entry.kind == MapEntry::Kind::Link ? m.entry.target : "(itself)";
    setRow(GridComNames, r, {qstr(m.entry.name), qstr(target), state});
    if (!m.entry.problem.empty()) GridComNames->item(r, 2)->setForeground(Qt::darkRed);
  }
}

int TFormPorts::selectedPort() const {
  const int r = GridSerialDevices->currentRow();
  return r >= 0 && r < static_cast<int>(survey_.ports.size()) && GridSerialDevices->item(r, 0)->isSelected() ? r : -1;
}

void TFormPorts::showDetails() {
  const int i = selectedPort();
  if (i < 0) {
    Memo_port_details->setPlainText(survey_.ports.empty() ? QString()
                                                          : QStringLiteral("Choose a device to see its details."));
    return;
  }
  const PortStatus& p = survey_.ports[static_cast<std::size_t>(i)];
  const SerialDevice& d = p.device;
  QStringList lines;
  lines << qstr(d.path) + (adapterText(d).isEmpty() ? QString() : QStringLiteral(": ") + adapterText(d));
  lines << QStringLiteral("Stable name: ") + (d.stableName.empty()
                                                  ? QStringLiteral("none (COM names link to the device itself)")
                                                  : qstr(d.stableName));
  QStringList facts;
  if (!d.serialNumber.empty()) facts << QStringLiteral("Serial number ") + qstr(d.serialNumber);
  if (!d.usbId.empty()) facts << QStringLiteral("USB ID ") + qstr(d.usbId);
  if (!d.driver.empty()) facts << QStringLiteral("driver ") + qstr(d.driver);
  if (!facts.isEmpty()) {
    facts.front()[0] = facts.front()[0].toUpper();
    lines << facts.join(QStringLiteral(", "));
  }
  lines << QStringLiteral("COM name: ") + (p.comNamesText().empty() ? QStringLiteral("none") : qstr(p.comNamesText()));
  QStringList users;
  for (const std::string& u : p.usedBy) users << qstr(u);
  lines << (users.isEmpty() ? QStringLiteral("In use: no") : QStringLiteral("In use by ") + users.join(", "));
  lines << (p.access.mayOpen ? QStringLiteral("You may open it.")
                             : QStringLiteral("You may not open it. ") + qstr(p.access.advice));
  Memo_port_details->setPlainText(lines.join(QLatin1Char('\n')));
}

void TFormPorts::GridSerialDevicesSelect() {
  showDetails();
  const int i = selectedPort();
  if (i < 0) return;
  const PortStatus& p = survey_.ports[static_cast<std::size_t>(i)];
  Combo_com_map->setEditText(p.comNames.empty() ? firstFreeComName() : qstr(p.comNames.front()));
  // The map list follows: its chosen row is this device's name, or none.
  GridComNames->setCurrentCell(p.comNames.empty() ? -1 : rowOf(GridComNames, qstr(p.comNames.front())), 0);
}

QString TFormPorts::firstFreeComName() const {
  for (int n = 1; n <= kLastComNumber; ++n) {
    const std::string name = "COM" + std::to_string(n);
    bool taken = survey_.map.find(n) != nullptr;
    for (const PortStatus& p : survey_.ports) taken |= p.defaultComName == name;
    if (!taken) return qstr(name);
  }
  return {};
}

void TFormPorts::Butt_assign_comClick() {
  const int i = selectedPort();
  const std::string name = Combo_com_map->currentText().toStdString();
  if (i < 0) return report({false, "Choose a serial device in the list first."});
  const std::string question = survey_.replaceQuestion(static_cast<std::size_t>(i), name);
  if (!question.empty() && dialogs_.message(windowTitle(), qstr(question), QMessageBox::Question,
                                            QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
    return;
  report(GiveComName(survey_, static_cast<std::size_t>(i), name));
}

void TFormPorts::Butt_remove_comClick() {
  const QString name = currentKey(GridComNames);
  if (name.isEmpty()) return report({false, "Choose a COM name in the device map list first."});
  report(RemoveComName(survey_.map.folder, name.toStdString()));
}

void TFormPorts::Butt_network_portClick() {
  auto* form = new TFormNetworkPort(this, survey_.map.folder);
  form->setAttribute(Qt::WA_DeleteOnClose);
  form->Combo_network_com->setEditText(Combo_com_map->currentText());
  connect(form, &QDialog::finished, this, &TFormPorts::Refresh);
  form->open();
}

void TFormPorts::report(const MapChange& change) {
  Label_ports_message->setText(qstr(change.message));
  Label_ports_message->setStyleSheet(change.ok ? QString() : QStringLiteral("color: darkred"));
  Refresh();
}

void TFormPorts::watchFolders() {
  const QString root = qstr(sources_.root());
  QStringList wanted;
  for (const QString& p : {root + "/dev", root + "/dev/serial", root + "/dev/serial/by-id", qstr(survey_.map.folder)})
    if (QFileInfo(p).isDir()) wanted << QDir::cleanPath(p);
  QStringList stale = watcher_->directories();
  for (const QString& w : wanted) stale.removeAll(w);
  if (!stale.isEmpty()) watcher_->removePaths(stale);
  for (const QString& w : wanted)
    if (!watcher_->directories().contains(w)) watcher_->addPath(w);
}

void TFormPorts::showEvent(QShowEvent* ev) {
  QDialog::showEvent(ev);
  Refresh();
}

void TFormPorts::hideEvent(QHideEvent* ev) {
  QDialog::hideEvent(ev);
  settle_->stop();
  if (!watcher_->directories().isEmpty()) watcher_->removePaths(watcher_->directories());
}

}  // namespace ostrel
