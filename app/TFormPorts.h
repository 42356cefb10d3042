#pragma once
// Tools > "Serial ports…": the serial devices of this computer, the COM
// names that reach them, and giving, changing and removing those names in
// the device map that the connect reads. The lists follow adapters being
// plugged in and pulled while the dialog is open.
#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "Dialogs.h"
#include "core/PortsSurvey.h"

class QComboBox;
class QFileSystemWatcher;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;
class QTimer;

namespace ostrel {

class TFormPorts : public QDialog {
  Q_OBJECT
 public:
  // Where the dialog looks, asked at each refresh.
  struct Sources {
    std::function<std::string()> root;            // stands for "/" (OSTREL_DEVICE_ROOT, or "/")
    std::function<std::string()> mapFolder;       // the device map folder
    std::function<std::vector<OwnUse>()> ownUse;  // the devices the window's links hold
  };
  TFormPorts(Dialogs& dialogs, Sources sources, QWidget* parent = nullptr);

  // Looks again at the devices and the map, keeping the selection.
  void Refresh();
  const PortsSurvey& survey() const { return survey_; }

  // ================= controls =================
  QLabel* Label_ports_notes = nullptr;
  QTableWidget* GridSerialDevices = nullptr;
  QPlainTextEdit* Memo_port_details = nullptr;
  QLabel* Label_map_folder = nullptr;
  QTableWidget* GridComNames = nullptr;
  QLabel* Label_com_map = nullptr;
  QComboBox* Combo_com_map = nullptr;
  QPushButton* Butt_assign_com = nullptr;
  QPushButton* Butt_remove_com = nullptr;
  QPushButton* Butt_network_port = nullptr;
  QPushButton* Butt_close_ports = nullptr;
  QLabel* Label_ports_message = nullptr;

  // ================= handlers =================
  void Butt_assign_comClick();
  void Butt_remove_comClick();
  // Opens "Network port…" for the COM name in the name box; the lists follow its changes.
  void Butt_network_portClick();
  void GridSerialDevicesSelect();

 protected:
  void showEvent(QShowEvent* ev) override;
  void hideEvent(QHideEvent* ev) override;

 private:
  void buildControls();
  void fillDevices();
  void fillComNames();
  void showDetails();
  void watchFolders();
  void report(const MapChange& change);
  int selectedPort() const;
  QString firstFreeComName() const;

  Dialogs& dialogs_;
  Sources sources_;
  PortsSurvey survey_;
  QFileSystemWatcher* watcher_ = nullptr;
  QTimer* settle_ = nullptr;  // one refresh after a burst of changes
};

}  // namespace ostrel
