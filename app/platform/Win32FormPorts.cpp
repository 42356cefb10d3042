#include "Win32FormPorts.h"

// clang-format off
#include <windows.h>
#include <dbt.h>
// clang-format on

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/ComPorts.h"

namespace ostrel {
namespace {

const char* const kNotes =
    "These are the COM ports Windows knows now; USB adapters appear while they are plugged in.\n"
    "Windows gives each adapter its COM name. To change it: Device Manager, Ports (COM & LPT), "
    "the adapter's Properties, Port Settings, Advanced, COM Port Number. Changing it needs an "
    "administrator.";

QString qstr(const std::string& s) { return QString::fromStdString(s); }

// The state shown for a port: our own links by name, else what the system answered.
QString stateText(const ComPort& p, const std::vector<OwnUse>& own) {
  const QString device = QStringLiteral("\\\\.\\") + qstr(p.name);
  for (const auto& use : own)
    if (device.compare(qstr(use.path), Qt::CaseInsensitive) == 0) return QStringLiteral("in use by ") + qstr(use.label);
  return qstr(p.state);
}

}  // namespace

TFormPorts::TFormPorts(Dialogs& dialogs, std::function<std::vector<OwnUse>()> ownUse, QWidget* parent)
    : QDialog(parent), dialogs_(dialogs), ownUse_(std::move(ownUse)) {
  setObjectName(QStringLiteral("FormPorts"));
  setWindowTitle(QStringLiteral("Serial ports"));
  Label_ports_notes = new QLabel(QString::fromLatin1(kNotes), this);
  Label_ports_notes->setObjectName(QStringLiteral("Label_ports_notes"));
  Label_ports_notes->setWordWrap(true);

  const QStringList headers{QStringLiteral("Port"), QStringLiteral("Adapter"), QStringLiteral("USB ID"),
                            QStringLiteral("Serial number"), QStringLiteral("State")};
  GridSerialDevices = new QTableWidget(0, static_cast<int>(headers.size()), this);
  GridSerialDevices->setObjectName(QStringLiteral("GridSerialDevices"));
  GridSerialDevices->setHorizontalHeaderLabels(headers);
  GridSerialDevices->setSelectionBehavior(QAbstractItemView::SelectRows);
  GridSerialDevices->setSelectionMode(QAbstractItemView::SingleSelection);
  GridSerialDevices->setEditTriggers(QAbstractItemView::NoEditTriggers);
  GridSerialDevices->verticalHeader()->hide();
  GridSerialDevices->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  GridSerialDevices->horizontalHeader()->setStretchLastSection(true);

  Butt_device_manager = new QPushButton(QStringLiteral("Open Device Manager"), this);
  Butt_device_manager->setObjectName(QStringLiteral("Butt_device_manager"));
  Butt_close_ports = new QPushButton(QStringLiteral("Close"), this);
  Butt_close_ports->setObjectName(QStringLiteral("Butt_close_ports"));
  connect(Butt_device_manager, &QPushButton::clicked, this, [this] { Butt_device_managerClick(); });
  connect(Butt_close_ports, &QPushButton::clicked, this, &QDialog::close);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(Butt_device_manager);
  buttons->addStretch();
  buttons->addWidget(Butt_close_ports);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Label_ports_notes);
  layout->addWidget(GridSerialDevices, 1);
  layout->addLayout(buttons);
  resize(720, 320);
}

void TFormPorts::Refresh() {
  const int selected = GridSerialDevices->currentRow();
  const QString key =
      selected >= 0 && GridSerialDevices->item(selected, 0) ? GridSerialDevices->item(selected, 0)->text() : QString();
  const std::vector<ComPort> ports = PresentComPorts();
  const std::vector<OwnUse> own = ownUse_ ? ownUse_() : std::vector<OwnUse>{};
  GridSerialDevices->setRowCount(static_cast<int>(ports.size()));
  for (int r = 0; r < static_cast<int>(ports.size()); ++r) {
    const ComPort& p = ports[static_cast<size_t>(r)];
    const QStringList cells{qstr(p.name), qstr(p.description.empty() ? p.device : p.description), qstr(p.usbId),
                            qstr(p.serialNumber), stateText(p, own)};
    for (int c = 0; c < cells.size(); ++c) GridSerialDevices->setItem(r, c, new QTableWidgetItem(cells[c]));
    if (!key.isEmpty() && cells[0] == key) GridSerialDevices->setCurrentCell(r, 0);
  }
}

void TFormPorts::Butt_device_managerClick() {
  if (QProcess::startDetached(QStringLiteral("mmc.exe"), {QStringLiteral("devmgmt.msc")})) return;
  dialogs_.message(QStringLiteral("Serial ports"),
                   QStringLiteral("The Device Manager could not be started. Open it from the Start menu "
                                  "(type \"Device Manager\") or run devmgmt.msc."),
                   QMessageBox::Information, QMessageBox::Ok);
}

void TFormPorts::showEvent(QShowEvent* ev) {
  QDialog::showEvent(ev);
  Refresh();
}

bool TFormPorts::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
  // Windows tells every top-level window when a device arrives or goes.
  if (eventType == "windows_generic_MSG") {
    const MSG* msg = static_cast<const MSG*>(message);
    if (msg->message == WM_DEVICECHANGE &&
        (msg->wParam == DBT_DEVICEARRIVAL || msg->wParam == DBT_DEVICEREMOVECOMPLETE ||
         msg->wParam == DBT_DEVNODES_CHANGED) &&
        isVisible())
      Refresh();
  }
  return QDialog::nativeEvent(eventType, message, result);
}

}  // namespace ostrel
