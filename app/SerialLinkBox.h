#pragma once
// A serial link box: the port's name, speed, parity and stop bits, "open on
// startup" and the connect button, with the port object it connects. The
// window has two, one on each page: the panel's own link and the Modbus link.
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "SettingsTable.h"
#include "TypedInput.h"
#include "core/LineDefaults.h"
#include "core/OwnUse.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QGridLayout;
class QLabel;
class QPushButton;
class QWidget;

namespace ostrel::serial {
class TVaComm;
class TVaMainThreadSync;
}  // namespace ostrel::serial

namespace ostrel {

class WindowHost;

// What tells one link box from the other.
struct LinkBoxPlan {
  enum class Layout {
    Row,      // labels over the lists in one row, the button beside the check box
    Columns,  // two lists a row, the check box and then the button below them
  };
  // The controls' objectNames.
  const char *box, *nameLabel, *name, *speedLabel, *speed, *parityLabel, *parity, *stopLabel, *stop, *autoOpen, *button;
  const char* autoOpenText;
  QStringList speeds;
  std::array<int, 4> maxLengths;  // name, speed, parity, stop; 0: no limit
  Layout layout;
  int statusPanel;          // the status bar panel that shows the connection
  LineDefaults defaults;    // the settings before the user chose any
  const char* closedLine;   // logged when the link is disconnected
  bool extraRates;          // the Modbus list's 28800, 33600 and 115200
  const char* ownUseLabel;  // how the serial ports dialog names the device while connected
  // The owner's handlers: the two number fields' key presses, the button, received bytes.
  CharRule speedKeys, stopKeys;
  std::function<void()> clicked, received;
};

class SerialLinkBox {
 public:
  SerialLinkBox(QWidget* parent, WindowHost& host, LinkBoxPlan plan, std::shared_ptr<serial::TVaMainThreadSync> sync);
  ~SerialLinkBox();
  SerialLinkBox(const SerialLinkBox&) = delete;
  SerialLinkBox& operator=(const SerialLinkBox&) = delete;

  QGroupBox* box() const { return box_; }
  // Puts a control of the owner into the box's grid.
  void place(QWidget* control, int row, int column);

  // Disconnects when connected, connects otherwise.
  void toggle();
  // True from a successful connect to the next disconnect.
  bool isOpen() const { return open_; }
  serial::TVaComm& port() { return *port_; }
  // Marks the link connected over its port when other code opened that port.
  void adoptOpenPort() { open_ = true; }
  // The device the link holds while connected, for the serial ports dialog.
  std::optional<OwnUse> ownUse() const;
  bool autoOpen() const;

  void apply(const LinkSettings& s);
  LinkSettings settings() const;
  // The box's texts in English.
  void setEnglishTexts();

 private:
  void build(QWidget* parent);
  void makeAutoOpen();
  void makeButton();
  void layOutRow();
  void layOutColumns();
  void createPort(std::shared_ptr<serial::TVaMainThreadSync> sync);
  void connectLink();
  // Tells the user why the device cannot be opened, if it cannot.
  bool deviceUsable(const QString& nameText, const std::string& path);
  void disconnectLink();
  void applySpeed();
  void setListsEnabled(bool on);
  void showClosed();

  WindowHost& host_;
  LinkBoxPlan plan_;
  std::unique_ptr<serial::TVaComm> port_;
  bool open_ = false;
  std::string openedPath_;

  QGroupBox* box_ = nullptr;
  QGridLayout* grid_ = nullptr;
  QLabel* nameLabel_ = nullptr;
  QComboBox* name_ = nullptr;
  QLabel* speedLabel_ = nullptr;
  QComboBox* speed_ = nullptr;
  QLabel* parityLabel_ = nullptr;
  QComboBox* parity_ = nullptr;
  QLabel* stopLabel_ = nullptr;
  QComboBox* stop_ = nullptr;
  QCheckBox* autoOpen_ = nullptr;
  QPushButton* button_ = nullptr;
};

}  // namespace ostrel
