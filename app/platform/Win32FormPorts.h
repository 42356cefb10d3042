#pragma once
// Tools > "Serial ports…" on Windows: the COM ports Windows knows now, with each adapter's
// name, USB identity, serial number and whether it is free. Windows gives the COM names, so
// the dialog says where they are changed and opens the Device Manager; the list follows
// adapters being plugged in and pulled while it is open.
#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "Dialogs.h"
#include "core/OwnUse.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace ostrel {

class TFormPorts : public QDialog {
  Q_OBJECT
 public:
  TFormPorts(Dialogs& dialogs, std::function<std::vector<OwnUse>()> ownUse, QWidget* parent = nullptr);

  // Looks again at the ports, keeping the selection.
  void Refresh();

  // ================= controls =================
  QLabel* Label_ports_notes = nullptr;
  QTableWidget* GridSerialDevices = nullptr;
  QPushButton* Butt_device_manager = nullptr;
  QPushButton* Butt_close_ports = nullptr;

  // ================= handlers =================
  void Butt_device_managerClick();

 protected:
  void showEvent(QShowEvent* ev) override;
  bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;

 private:
  Dialogs& dialogs_;
  std::function<std::vector<OwnUse>()> ownUse_;
};

}  // namespace ostrel
