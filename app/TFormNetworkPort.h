#pragma once
// "Network port…" of the Serial ports dialog: gives a COM name of the device map to a serial
// device server's URL (rfc2217:// or tcp://), changes or removes it, and tests the connection,
// saying what the server told of its line.
#include <QDialog>
#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace ostrel {

class TFormNetworkPort : public QDialog {
 public:
  // `folder`: the device map folder the names are written to.
  TFormNetworkPort(QWidget* parent, std::string folder);

  QComboBox* Combo_network_com = nullptr;
  QLineEdit* Edit_network_url = nullptr;
  QPushButton* Butt_network_test = nullptr;
  QPushButton* Butt_network_save = nullptr;
  QPushButton* Butt_network_remove = nullptr;
  QPushButton* Butt_network_close = nullptr;
  QLabel* Label_network_message = nullptr;

  void Butt_network_testClick();
  void Butt_network_saveClick();
  void Butt_network_removeClick();
  // The URL a COM name leads to now, shown for a change (empty for none).
  void Combo_network_comChange();

 private:
  void say(bool ok, const std::string& text);
  std::string folder_;
};

}  // namespace ostrel
