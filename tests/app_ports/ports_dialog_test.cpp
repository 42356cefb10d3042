// Tools > "Serial ports…" over a fake device tree: the lists, giving,
// changing and removing COM names, the connect following them, hot-plug,
// and refused input.
#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <filesystem>
#include <fstream>

#include "FakeSerialTree.h"
#include "SerialLinkBox.h"
#include "TFormPorts.h"
#include "core/DeviceProbe.h"
#include "port_fixture.h"
#include "serial/VaComm.h"
#include "tests/app/find_control.h"

using namespace ostrel;
namespace fs = std::filesystem;

namespace {

const char* kFtdiId = "usb-FTDI_FT232R_USB_UART_A1B2C3D4-if00-port0";

FakeSerialTree::Usb ftdi(const std::string& node = {}) {
  return {"ttyUSB0", "1-1", "0403", "6001", "FTDI", "FT232R USB UART", "A1B2C3D4", "ftdi_sio", kFtdiId, node};
}

template <class F>
bool waitFor(F cond, int ms = 5000) {
  QElapsedTimer t;
  t.start();
  while (!cond()) {
    if (t.elapsed() > ms) return false;
    QTest::qWait(10);
  }
  return true;
}

class PortsDialogTest : public PortFormTest {
 protected:
  QTemporaryDir rootDir;
  std::unique_ptr<FakeSerialTree> tree;
  std::string map() const { return mapDir.path().toStdString(); }

  void SetUp() override {
    PortFormTest::SetUp();
    tree = std::make_unique<FakeSerialTree>(rootDir.path().toStdString() + "/root");
    setenv("OSTREL_DEVICE_ROOT", tree->root().c_str(), 1);
  }
  void TearDown() override {
    PortFormTest::TearDown();
    unsetenv("OSTREL_DEVICE_ROOT");
  }

  TFormPorts& open() {
    TForm1& w = form ? *form : create();
    Child<QAction>(w, "Serialports1")->trigger();
    EXPECT_TRUE(w.portsDialog() && w.portsDialog()->isVisible());
    return *w.portsDialog();
  }
  static QString cell(QTableWidget* t, int row, int col) {
    return t->item(row, col) ? t->item(row, col)->text() : QStringLiteral("<none>");
  }
  static void give(TFormPorts& d, const QString& name) {
    d.Combo_com_map->setEditText(name);
    QTest::mouseClick(d.Butt_assign_com, Qt::LeftButton);
  }
  static void removeRow(TFormPorts& d, const QString& name) {
    for (int r = 0; r < d.GridComNames->rowCount(); ++r)
      if (cell(d.GridComNames, r, 0) == name) d.GridComNames->setCurrentCell(r, 0);
    QTest::mouseClick(d.Butt_remove_com, Qt::LeftButton);
  }
  std::string linkOf(const char* com) const {
    std::error_code ec;
    return fs::read_symlink(map() + "/" + com, ec).string();
  }
};

}  // namespace

TEST_F(PortsDialogTest, ToolsMenuHoldsTheOneItemThatOpensTheDialog) {
  TForm1& w = create();
  ASSERT_EQ(Child<QAction>(w, "ools1")->menu()->actions(), QList<QAction*>{Child<QAction>(w, "Serialports1")});
  EXPECT_EQ(Child<QAction>(w, "Serialports1")->objectName(), "Serialports1");
  EXPECT_EQ(Child<QAction>(w, "Serialports1")->text(), QString::fromUtf8("Serial ports\u2026"));
  TFormPorts& d = open();
  EXPECT_EQ(d.windowTitle(), "Serial ports");
  for (const char* name : {"Label_ports_notes", "GridSerialDevices", "Memo_port_details", "Label_map_folder",
                           "GridComNames", "Label_com_map", "Combo_com_map", "Butt_assign_com", "Butt_remove_com",
                           "Butt_close_ports", "Label_ports_message"})
    EXPECT_TRUE(d.findChild<QWidget*>(QLatin1String(name))) << name;
  QTest::mouseClick(d.Butt_close_ports, Qt::LeftButton);
  EXPECT_FALSE(d.isVisible());
  open();  // the same dialog again
  EXPECT_EQ(w.findChildren<TFormPorts*>().size(), 1);
}

TEST_F(PortsDialogTest, NamesGivenChangedAndRemovedReachTheConnect) {
  Pty adapter;
  tree->addUsb(ftdi(adapter.slave));
  tree->addUart("ttyS0", 4);
  tree->addUart("ttyS1", 0);
  TFormPorts& d = open();
  TForm1& w = *form;
  ASSERT_EQ(d.GridSerialDevices->rowCount(), 2);
  EXPECT_EQ(cell(d.GridSerialDevices, 0, 0), QString::fromStdString(tree->dev("ttyUSB0")));
  EXPECT_EQ(cell(d.GridSerialDevices, 0, 2), "FTDI FT232R USB UART");
  EXPECT_EQ(cell(d.GridSerialDevices, 0, 3), "A1B2C3D4");
  EXPECT_EQ(cell(d.GridSerialDevices, 1, 1), "COM1 (default)");
  // The first device is chosen, with the first name nobody has proposed for it.
  EXPECT_EQ(d.GridSerialDevices->currentRow(), 0);
  EXPECT_EQ(d.Combo_com_map->currentText(), "COM2");
  EXPECT_TRUE(d.Memo_port_details->toPlainText().contains(QString::fromStdString(tree->byId(kFtdiId))));

  give(d, "COM3");
  EXPECT_EQ(linkOf("COM3"), tree->byId(kFtdiId));
  EXPECT_EQ(d.Label_ports_message->text().toStdString(), "COM3 now leads to " + tree->byId(kFtdiId) + ".");
  EXPECT_EQ(cell(d.GridSerialDevices, 0, 1), "COM3");
  EXPECT_EQ(cell(d.GridComNames, 0, 2), "ttyUSB0");

  // The window's connect opens the adapter behind the name, and the dialog shows who holds it.
  panelLink("COM3");
  clickPanel();
  ASSERT_TRUE(w.panelLinkBox().isOpen());
  EXPECT_TRUE(w.panelLinkBox().port().WriteString("hi"));
  EXPECT_EQ(adapter.read(2), "hi");
  EXPECT_EQ(cell(d.GridSerialDevices, 0, 5), "by Ostrel's panel link");
  clickPanel();
  EXPECT_EQ(cell(d.GridSerialDevices, 0, 5), "free");

  // A new name replaces the old one.
  d.GridSerialDevices->setCurrentCell(0, 0);
  EXPECT_EQ(d.Combo_com_map->currentText(), "COM3");
  // Typed into the name box and confirmed with Enter, as a person does.
  d.Combo_com_map->setFocus();
  d.Combo_com_map->lineEdit()->selectAll();
  QTest::keyClicks(d.Combo_com_map, "COM201");
  QTest::keyClick(d.Combo_com_map, Qt::Key_Return);
  EXPECT_EQ(linkOf("COM3"), "");
  EXPECT_EQ(linkOf("COM201"), tree->byId(kFtdiId));
  modbusLink("COM201");
  clickModbus();
  ASSERT_TRUE(w.modbusLinkBox().isOpen());
  EXPECT_TRUE(w.modbusLinkBox().port().WriteString("mb"));
  EXPECT_EQ(adapter.read(2), "mb");
  clickModbus();

  removeRow(d, "COM201");
  EXPECT_FALSE(fs::exists(fs::symlink_status(map() + "/COM201")));
  EXPECT_EQ(d.GridComNames->rowCount(), 0);
  EXPECT_EQ(cell(d.GridSerialDevices, 0, 1), "");
  clickModbus();  // COM201 is the on-board /dev/ttyS200 again, which is not there
  EXPECT_FALSE(w.modbusLinkBox().isOpen());
  ASSERT_EQ(messages(), 1);
  EXPECT_TRUE(dialogs.last(ScriptedDialogs::Kind::Message)->text.contains("/dev/ttyS200) does not exist"));
}

TEST_F(PortsDialogTest, PluggingAndPullingUpdateTheOpenDialog) {
  TFormPorts& d = open();
  EXPECT_EQ(d.GridSerialDevices->rowCount(), 0);
  EXPECT_TRUE(d.Label_ports_notes->text().contains("No serial device found"));
  EXPECT_TRUE(d.Label_ports_notes->text().contains("no USB serial adapter has been plugged in"));
  tree->addUsb(ftdi());
  ASSERT_TRUE(waitFor([&] { return d.GridSerialDevices->rowCount() == 1; }));
  ASSERT_TRUE(waitFor([&] { return d.Label_ports_notes->text().isEmpty() || !d.Label_ports_notes->isVisible(); }));
  EXPECT_EQ(cell(d.GridSerialDevices, 0, 4), "ftdi_sio");
  give(d, "COM4");
  tree->unplug(ftdi());
  ASSERT_TRUE(waitFor([&] { return d.GridSerialDevices->rowCount() == 0; }));
  ASSERT_EQ(d.GridComNames->rowCount(), 1);
  EXPECT_TRUE(cell(d.GridComNames, 0, 2).contains("target is missing"));
  // Plugged in again, it is COM4 at once.
  tree->addUsb(ftdi());
  ASSERT_TRUE(waitFor([&] { return d.GridSerialDevices->rowCount() == 1; }));
  EXPECT_EQ(cell(d.GridSerialDevices, 0, 1), "COM4");
}

TEST_F(PortsDialogTest, RefusedInputIsExplainedAndChangesNothing) {
  tree->addUsb(ftdi());
  fs::create_symlink("/nonexistent/usb-Prolific-if00-port0", map() + "/COM4");
  { std::ofstream(map() + "/COM5") << "/dev/ttyUSB0\n"; }
  TFormPorts& d = open();
  ASSERT_EQ(d.GridComNames->rowCount(), 2);
  EXPECT_TRUE(cell(d.GridComNames, 1, 2).contains("not a link"));
  // The chosen device has no name, so no map row is chosen, and Remove asks for one.
  EXPECT_EQ(d.GridComNames->currentRow(), -1);
  QTest::mouseClick(d.Butt_remove_com, Qt::LeftButton);
  EXPECT_TRUE(d.Label_ports_message->text().startsWith("Choose a COM name"));

  for (const char* bad : {"COM0", "COM257", "LPT1"}) {
    give(d, bad);
    EXPECT_TRUE(d.Label_ports_message->text().contains("use COM1 to COM256"))
        << d.Label_ports_message->text().toStdString();
  }
  give(d, "COM5");
  EXPECT_TRUE(d.Label_ports_message->text().contains("not a link, and Ostrel leaves it alone"));
  removeRow(d, "COM5");
  EXPECT_TRUE(d.Label_ports_message->text().contains("not a link, and Ostrel leaves it alone"));
  EXPECT_TRUE(fs::is_regular_file(map() + "/COM5"));

  // A name that reaches another target is given only when the user agrees.
  dialogs.answers.push_back(QMessageBox::No);
  give(d, "COM4");
  EXPECT_EQ(linkOf("COM4"), "/nonexistent/usb-Prolific-if00-port0");
  EXPECT_EQ(dialogs.last(ScriptedDialogs::Kind::Message)->icon, QMessageBox::Question);
  dialogs.answers.push_back(QMessageBox::Yes);
  give(d, "COM4");
  EXPECT_EQ(linkOf("COM4"), tree->byId(kFtdiId));

  // A map folder that cannot be made (a file stands where a folder should be).
  const std::string file = rootDir.path().toStdString() + "/file";
  { std::ofstream(file) << "x"; }
  setenv("OSTREL_DEVICE_DIR", (file + "/ports").c_str(), 1);
  d.Refresh();
  give(d, "COM6");
  EXPECT_TRUE(d.Label_ports_message->text().contains("Cannot make the device map folder " +
                                                     QString::fromStdString(file) + "/ports: Not a directory"));
  // A map folder that is a file.
  setenv("OSTREL_DEVICE_DIR", file.c_str(), 1);
  d.Refresh();
  EXPECT_TRUE(d.Label_ports_notes->text().contains("is a file, not a folder"));
  give(d, "COM6");
  EXPECT_TRUE(d.Label_ports_message->text().contains("is a file, not a folder"));
  EXPECT_TRUE(fs::is_regular_file(file));
  EXPECT_EQ(d.GridComNames->rowCount(), 0);
}
