// Connecting and disconnecting the two links from the window.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <QCheckBox>
#include <QTimer>
#include <ctime>
#include <vector>

#include "SerialLinkBox.h"
#include "core/DeviceProbe.h"
#include "port_fixture.h"
#include "serial/VaComm.h"
#include "testing/FakeDevice.h"
#include "tests/app/find_control.h"

unsigned ptyBaudRate(int fd);

using namespace ostrel;
using namespace ostrel::serial;

namespace {

termios lineOf(const Pty& p) {  // for the flags; rates come from rateOf
  termios t{};
  tcgetattr(p.master, &t);  // a master reads its slave's settings
  return t;
}

bool enabled(std::initializer_list<QWidget*> ws, bool on) {
  for (QWidget* w : ws)
    if (w->isEnabled() != on) return false;
  return true;
}

double cpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

unsigned rateOf(const Pty& p) { return ptyBaudRate(p.master); }

}  // namespace

TEST_F(PortFormTest, BothLinksConnectAndDisconnectWithTheirTexts) {
  Pty a, b;
  link("COM1", a.slave);
  link("COM2", b.slave);
  TForm1& w = create();
  auto panelControls = {static_cast<QWidget*>(Child<QComboBox>(w, "Combo_com_name")),
                        static_cast<QWidget*>(Child<QComboBox>(w, "Combo_com_speed")),
                        static_cast<QWidget*>(Child<QComboBox>(w, "Combo_com_parity")),
                        static_cast<QWidget*>(Child<QComboBox>(w, "Combo_stop"))};
  auto modbusControls = {static_cast<QWidget*>(Child<QComboBox>(w, "Combo_com2_name")),
                         static_cast<QWidget*>(Child<QComboBox>(w, "Combo_com2_speed")),
                         static_cast<QWidget*>(Child<QComboBox>(w, "Combo_com2_parity")),
                         static_cast<QWidget*>(Child<QComboBox>(w, "Combo_com2_stop"))};

  panelLink("COM1", "2400", "Even", "2");
  clickPanel();
  EXPECT_TRUE(w.panelLinkBox().isOpen());
  EXPECT_EQ(Child<ostrel::TStatusBar>(w, "StatusBar1")->panelText(0), "COM1 - 2400,8,Even");
  EXPECT_EQ(lastLog(), "COM1 - 2400,8,Even");
  EXPECT_EQ(Child<QPushButton>(w, "Butt_open_port")->text(), "Disconnect");
  EXPECT_TRUE(enabled(panelControls, false));
  EXPECT_TRUE(enabled(modbusControls, true));
  termios t = lineOf(a);
  EXPECT_EQ(rateOf(a), 2400u);
  EXPECT_TRUE(t.c_cflag & CSTOPB);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(w.panelLinkBox().port().DeviceName(), "\\\\.\\COM1");
  EXPECT_EQ(w.panelLinkBox().port().Parity(), paEven);

  modbusLink("COM2", "9600", "None", "1");
  clickModbus();
  EXPECT_TRUE(w.modbusLinkBox().isOpen());
  EXPECT_EQ(Child<ostrel::TStatusBar>(w, "StatusBar1")->panelText(1), "COM2 - 9600,8,None");
  EXPECT_EQ(lastLog(), "COM2 - 9600,8,None");
  EXPECT_EQ(Child<QPushButton>(w, "Butt_open_port2")->text(), "Disconnect");
  EXPECT_TRUE(enabled(modbusControls, false));
  t = lineOf(b);
  EXPECT_EQ(rateOf(b), 9600u);
  EXPECT_FALSE(t.c_cflag & CSTOPB);

  // Both links carry bytes to their own far ends.
  EXPECT_TRUE(w.panelLinkBox().port().WriteString("P1"));
  EXPECT_TRUE(w.modbusLinkBox().port().WriteString("M2"));
  EXPECT_EQ(a.read(2), "P1");
  EXPECT_EQ(b.read(2), "M2");

  clickPanel();
  EXPECT_FALSE(w.panelLinkBox().isOpen());
  EXPECT_FALSE(w.panelLinkBox().port().IsOpen());
  EXPECT_EQ(Child<ostrel::TStatusBar>(w, "StatusBar1")->panelText(0), "\\\\.\\COM1 is closed");
  EXPECT_EQ(lastLog(), "Serial port closed");
  EXPECT_EQ(Child<QPushButton>(w, "Butt_open_port")->text(), "Connect to port");
  EXPECT_TRUE(enabled(panelControls, true));
  EXPECT_TRUE(w.modbusLinkBox().isOpen());

  clickModbus();
  EXPECT_FALSE(w.modbusLinkBox().isOpen());
  EXPECT_EQ(Child<ostrel::TStatusBar>(w, "StatusBar1")->panelText(1), "\\\\.\\COM2 is closed");
  EXPECT_EQ(lastLog(), "Serial port for modbus closed");
  EXPECT_EQ(Child<QPushButton>(w, "Butt_open_port2")->text(), "Connect to port");
  EXPECT_TRUE(enabled(modbusControls, true));
  EXPECT_EQ(messages(), 0);

  // A link connects again after a disconnect.
  clickPanel();
  EXPECT_TRUE(w.panelLinkBox().isOpen());
  EXPECT_TRUE(w.panelLinkBox().port().WriteString("again"));
  EXPECT_EQ(a.read(5), "again");

  // The Modbus link also takes a device path instead of a COM name.
  modbusLink(QString::fromStdString(b.slave));
  clickModbus();
  ASSERT_TRUE(w.modbusLinkBox().isOpen());
  EXPECT_EQ(Child<ostrel::TStatusBar>(w, "StatusBar1")->panelText(1),
            QString::fromStdString(b.slave + " - 19200,8,Even"));
  EXPECT_TRUE(w.modbusLinkBox().port().WriteString("M3"));
  EXPECT_EQ(b.read(2), "M3");
}

TEST_F(PortFormTest, SpeedTextsMapToRatesAndOthersKeepThePreset) {
  Pty a, b;
  link("COM1", a.slave);
  link("COM2", b.slave);
  TForm1& w = create();
  struct Case {
    bool panel;
    const char* speed;
    unsigned applied;
  };
  const std::vector<Case> cases = {
      {true, "600", 2400},    {true, "abc", 2400},       {true, "300", 300},    {true, "115200", 2400},
      {true, "19200", 19200}, {false, "600", 19200},     {false, "abc", 19200}, {false, "1200", 1200},
      {false, "4800", 4800},  {false, "115200", 115200},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.panel ? "panel " : "modbus ") + c.speed);
    if (c.panel) {
      panelLink("COM1", c.speed);
      clickPanel();
      ASSERT_TRUE(w.panelLinkBox().isOpen());
      EXPECT_EQ(Child<ostrel::TStatusBar>(w, "StatusBar1")->panelText(0), QString("COM1 - %1,8,Even").arg(c.speed));
      EXPECT_EQ(rateOf(c.panel ? a : b), c.applied);
      clickPanel();
    } else {
      modbusLink("COM2", c.speed);
      clickModbus();
      ASSERT_TRUE(w.modbusLinkBox().isOpen());
      EXPECT_EQ(Child<ostrel::TStatusBar>(w, "StatusBar1")->panelText(1), QString("COM2 - %1,8,Even").arg(c.speed));
      EXPECT_EQ(rateOf(c.panel ? a : b), c.applied);
      clickModbus();
    }
  }
  // The Modbus list's rates without a constant of their own run at that rate.
  modbusLink("COM2", "28800");
  clickModbus();
  ASSERT_TRUE(w.modbusLinkBox().isOpen());
  EXPECT_EQ(w.modbusLinkBox().port().Baudrate(), brUser);
  EXPECT_EQ(w.modbusLinkBox().port().UserBaudrate(), 28800);
  EXPECT_EQ(rateOf(b), 28800u);
  clickModbus();
}

TEST_F(PortFormTest, ParityAndStopBitsAsTheLineReceivesThem) {
  // A pseudo-terminal holds no parity: the line settings are read from a
  // fake device that the ports open instead (the probe still checks the
  // real device behind the name).
  Pty a;
  link("COM1", a.slave);
  link("COM2", a.slave);
  TForm1& w = create();
  std::shared_ptr<TVaFakeDevice> fake;
  auto opener = [&fake](const std::string&, int&) -> TVaDevicePtr {
    fake = std::make_shared<TVaFakeDevice>();
    return fake;
  };
  w.panelLinkBox().port().SetDeviceOpener(opener);
  w.modbusLinkBox().port().SetDeviceOpener(opener);

  struct Case {
    bool panel;
    const char* parity;
    const char* stop;
    TVaParity wantParity;
    TVaStopbits wantStop;
  };
  const std::vector<Case> cases = {
      {true, "even", "3", paEven, sb2},   {false, "even", "3", paEven, sb1}, {true, "None", "1", paNone, sb1},
      {false, "Odd", "2", paOdd, sb2},    {true, "Mark", "2", paMark, sb2},  {false, "Space", "", paSpace, sb1},
      {true, "NONE", "1.5", paEven, sb2}, {false, "xyz", " 1", paEven, sb1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.panel ? "panel " : "modbus ") + c.parity + " / " + c.stop);
    if (c.panel)
      panelLink("COM1", "2400", c.parity, c.stop), clickPanel();
    else
      modbusLink("COM2", "19200", c.parity, c.stop), clickModbus();
    ASSERT_TRUE(c.panel ? w.panelLinkBox().isOpen() : w.modbusLinkBox().isOpen());
    ASSERT_TRUE(fake);
    const TVaDcb d = fake->dcb();
    EXPECT_EQ(d.Parity, c.wantParity);
    EXPECT_EQ(d.StopBits, c.wantStop);
    EXPECT_EQ(d.ByteSize, 8);
    // The status line shows the texts as typed.
    EXPECT_EQ(Child<ostrel::TStatusBar>(w, "StatusBar1")->panelText(c.panel ? 0 : 1),
              QString("COM%1 - %2,8,%3").arg(c.panel ? 1 : 2).arg(c.panel ? "2400" : "19200").arg(c.parity));
    c.panel ? clickPanel() : clickModbus();
    EXPECT_TRUE(fake->closed());
  }
}

TEST_F(PortFormTest, TheSameDeviceOnBothLinksIsBusy) {
  Pty a;
  link("COM3", a.slave);
  TForm1& w = create();
  panelLink("COM3");
  modbusLink("COM3");
  clickPanel();
  ASSERT_TRUE(w.panelLinkBox().isOpen());
  clickModbus();
  EXPECT_FALSE(w.modbusLinkBox().isOpen());
  EXPECT_FALSE(w.modbusLinkBox().port().IsOpen());
  ASSERT_EQ(messages(), 1);
  const auto* m = dialogs.last(ScriptedDialogs::Kind::Message);
  EXPECT_EQ(m->caption, "Connect to port");
  EXPECT_EQ(m->text, "This serial port is already in use!");
  EXPECT_EQ(m->icon, QMessageBox::Warning);
  EXPECT_EQ(Child<ostrel::TStatusBar>(w, "StatusBar1")->panelText(1), "\\\\.\\COM3 is closed");
  EXPECT_EQ(Child<QPushButton>(w, "Butt_open_port2")->text(), "Connect to port");
  EXPECT_TRUE(Child<QComboBox>(w, "Combo_com2_name")->isEnabled());
  // The same device named by its path is just as busy.
  modbusLink(QString::fromStdString(a.slave));
  clickModbus();
  EXPECT_FALSE(w.modbusLinkBox().isOpen());
  EXPECT_EQ(messages(), 2);
  EXPECT_EQ(Child<ostrel::TStatusBar>(w, "StatusBar1")->panelText(1),
            QString::fromStdString("\\\\.\\" + a.slave + " is closed"));
  // The failed probe left the panel link working.
  EXPECT_TRUE(w.panelLinkBox().port().WriteString("ok"));
  EXPECT_EQ(a.read(2), "ok");
}

TEST_F(PortFormTest, StartUpOpensThePanelLinkAndReportsTheModbusLinkBusy) {
  Pty a;
  link("COM1", a.slave);
  writeIni(
      "[Com port]\r\nName=COM1\r\nSpeed=9600\r\nParity=Even\r\nSB=2\r\nAutoOpen=1\r\n"
      "[Modbus port]\r\nName=COM1\r\nSpeed=19200\r\nParity=Even\r\nSB=1\r\n[Modbus]\r\nAutoOpen=1\r\n");
  TForm1& w = create();
  EXPECT_TRUE(w.panelLinkBox().isOpen());
  EXPECT_FALSE(w.modbusLinkBox().isOpen());
  EXPECT_EQ(Child<ostrel::TStatusBar>(w, "StatusBar1")->panelText(0), "COM1 - 9600,8,Even");
  EXPECT_EQ(Child<ostrel::TStatusBar>(w, "StatusBar1")->panelText(1), "\\\\.\\COM1 is closed");
  ASSERT_EQ(messages(), 1);
  EXPECT_EQ(dialogs.last(ScriptedDialogs::Kind::Message)->text, "This serial port is already in use!");
  EXPECT_EQ(rateOf(a), 9600u);
}

TEST_F(PortFormTest, AMissingDeviceNamesItsCause) {
  link("COM7", "/dev/ostrel-no-such-device");
  TForm1& w = create();
  panelLink("COM7");
  clickPanel();
  EXPECT_FALSE(w.panelLinkBox().isOpen());
  ASSERT_EQ(messages(), 1);
  const auto* m = dialogs.last(ScriptedDialogs::Kind::Message);
  EXPECT_EQ(m->caption, "Connect to port");
  EXPECT_TRUE(m->text.contains("does not exist")) << m->text.toStdString();
  EXPECT_TRUE(m->text.contains("/dev/ostrel-no-such-device")) << m->text.toStdString();
  EXPECT_EQ(Child<ostrel::TStatusBar>(w, "StatusBar1")->panelText(0), "\\\\.\\COM7 is closed");
}

TEST_F(PortFormTest, AnEmptyPortNameSaysThatTheNameIsMissing) {
  TForm1& w = create();
  modbusLink("");
  clickModbus();
  EXPECT_FALSE(w.modbusLinkBox().isOpen());
  ASSERT_EQ(messages(), 1);
  const QString text = dialogs.last(ScriptedDialogs::Kind::Message)->text;
  EXPECT_EQ(text,
            "No serial port is chosen: the port name is empty.\nEnter a port name such as COM1 and connect again.");
  EXPECT_FALSE(text.contains("  "));
}

// Run in a child process under an unprivileged user: a pseudo-terminal's
// slave is not open to everyone, so the probe meets a real refusal.
class PortPermissionTest : public PortFormTest {
 protected:
  // The connect of a device this user may not open: refused, with the remedy in the message.
  void ExpectPermissionRefusal(const std::string& slave) {
    link("COM4", slave);
    TForm1& w = create();
    panelLink("COM4");
    clickPanel();
    EXPECT_FALSE(w.panelLinkBox().isOpen());
    ASSERT_EQ(messages(), 1);
    const QString text = dialogs.last(ScriptedDialogs::Kind::Message)->text;
    EXPECT_TRUE(text.contains("no permission")) << text.toStdString();
    EXPECT_TRUE(text.contains("log in again")) << text.toStdString();
  }
};

TEST_F(PortPermissionTest, PermissionChild) {
  const char* slave = std::getenv("OSTREL_PERMISSION_CHILD");
  if (!slave) GTEST_SKIP() << "runs only as the child of APermissionRefusalNamesItsRemedy";
  ExpectPermissionRefusal(slave);
}

TEST_F(PortPermissionTest, APermissionRefusalNamesItsRemedy) {
  Pty a;
  if (geteuid() != 0) {
    // An ordinary user owns the pseudo-terminals it opens: taking its own rights away is
    // the refusal a device of another group gives.
    ASSERT_EQ(::chmod(a.slave.c_str(), 0), 0);
    ExpectPermissionRefusal(a.slave);
    return;
  }
  struct stat st {};
  ASSERT_EQ(::stat(a.slave.c_str(), &st), 0);
  if (st.st_mode & S_IROTH) GTEST_SKIP() << "pseudo-terminals are open to everyone here";
  char self[4096] = {};
  ASSERT_GT(::readlink("/proc/self/exe", self, sizeof self - 1), 0);
  QTemporaryDir home;
  ::chmod(home.path().toLocal8Bit().constData(), 0777);
  const std::string homeEnv = "HOME=" + home.path().toStdString();
  const std::string slaveEnv = "OSTREL_PERMISSION_CHILD=" + a.slave;
  const pid_t pid = fork();
  if (pid == 0) {
    // Only async-signal-safe calls between fork and exec.
    if (::setgid(65534) != 0 || ::setuid(65534) != 0 || ::chdir("/tmp") != 0) ::_exit(3);
    char* const argv[] = {self, const_cast<char*>("--gtest_filter=PortPermissionTest.PermissionChild"), nullptr};
    char* const envp[] = {const_cast<char*>(homeEnv.c_str()), const_cast<char*>(slaveEnv.c_str()),
                          const_cast<char*>("QT_QPA_PLATFORM=offscreen"), const_cast<char*>("TMPDIR=/tmp"), nullptr};
    ::execve(self, argv, envp);
    ::_exit(4);
  }
  ASSERT_GT(pid, 0);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  // 3: no unprivileged user to switch to; 4, 127: the program cannot run as that user.
  if (WIFEXITED(status) && (WEXITSTATUS(status) == 3 || WEXITSTATUS(status) == 4 || WEXITSTATUS(status) == 127))
    GTEST_SKIP() << "the test program cannot run as an unprivileged user here";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
}

TEST_F(PortFormTest, ALostDeviceIsReportedOnceAndTheLinkCanBeRestored) {
  auto far = std::make_unique<Pty>();
  link("COM1", far->slave);
  TForm1& w = create();
  panelLink("COM1");
  clickPanel();
  ASSERT_TRUE(w.panelLinkBox().isOpen());
  const int before = logLines().size();

  far->closeMaster();  // the adapter is pulled
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.panelLinkBox().port().DeviceLost(); }, 3000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return logLines().size() == before + 1; }, 3000));
  EXPECT_TRUE(lastLog().contains("no longer available")) << lastLog().toStdString();
  EXPECT_TRUE(Child<ostrel::TStatusBar>(w, "StatusBar1")->panelText(0).contains("no longer available"));
  EXPECT_EQ(messages(), 0);

  // While lost, the port waits for nothing: the process stays almost idle.
  const double cpu0 = cpuSeconds();
  QTest::qWait(400);
  EXPECT_LT(cpuSeconds() - cpu0, 0.2);
  EXPECT_EQ(logLines().size(), before + 1);

  clickPanel();
  EXPECT_FALSE(w.panelLinkBox().isOpen());
  EXPECT_EQ(lastLog(), "Serial port closed");
  EXPECT_EQ(Child<ostrel::TStatusBar>(w, "StatusBar1")->panelText(0), "\\\\.\\COM1 is closed");

  // The adapter comes back under another device node, the map follows it.
  far = std::make_unique<Pty>();
  link("COM1", far->slave);
  clickPanel();
  ASSERT_TRUE(w.panelLinkBox().isOpen());
  EXPECT_FALSE(w.panelLinkBox().port().DeviceLost());
  EXPECT_TRUE(w.panelLinkBox().port().WriteString("back"));
  EXPECT_EQ(far->read(4), "back");
}

TEST_F(PortFormTest, AutomaticReadoutSkipsALostDeviceWithOneLineAndResumesAfterReconnecting) {
  auto far = std::make_unique<Pty>();
  link("COM2", far->slave);
  TForm1& w = create();
  modbusLink("COM2");
  clickModbus();
  ASSERT_TRUE(w.modbusLinkBox().isOpen());
  Child<QCheckBox>(w, "CheckBox1")->setChecked(true);  // "Automatic readout in:" every second
  ASSERT_TRUE(Child<ostrel::TTimer>(w, "Timer_auto")->Enabled());

  far->closeMaster();  // the adapter is pulled
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.modbusLinkBox().port().DeviceLost(); }, 3000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return lastLog().contains("no longer available"); }, 3000));
  const int before = logLines().size();
  for (int tick = 0; tick < 3; ++tick) emit Child<ostrel::TTimer>(w, "Timer_auto")->Timer();  // three periods pass
  EXPECT_EQ(messages(), 0);                                                                   // no box stacks up
  EXPECT_EQ(logLines().size(), before + 1);
  EXPECT_EQ(lastLog(),
            "Automatic readout skipped: the Modbus port's device is no longer available; "
            "disconnect and connect the port to go on");
  EXPECT_TRUE(Child<ostrel::TTimer>(w, "Timer_auto")->Enabled());  // the box stays as the user set it

  clickModbus();  // disconnect
  far = std::make_unique<Pty>();
  link("COM2", far->slave);
  clickModbus();
  ASSERT_TRUE(w.modbusLinkBox().isOpen());
  emit Child<ostrel::TTimer>(w, "Timer_auto")->Timer();
  EXPECT_EQ(far->read(8).size(), 8u);  // the read request goes out again
  EXPECT_EQ(messages(), 0);
}

TEST_F(PortFormTest, ErrorsOfPortEventsReachOneMessageBoxAndTheProgramGoesOn) {
  Pty a;
  link("COM1", a.slave);
  TForm1& w = create();
  panelLink("COM1");
  clickPanel();
  ASSERT_TRUE(w.panelLinkBox().isOpen());
  int calls = 0;
  w.panelLinkBox().port().OnRxChar = [&](TVaCustomComm* port, int32_t) {
    ++calls;
    static_cast<TVaComm*>(port)->ReadAll();
    throw std::runtime_error("receive handler failed");
  };
  ASSERT_EQ(::write(a.master, "x", 1), 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return messages() == 1; }, 3000));
  EXPECT_EQ(dialogs.last(ScriptedDialogs::Kind::Message)->text, "receive handler failed");
  // The port goes on receiving after the failed handler.
  ASSERT_EQ(::write(a.master, "y", 1), 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return calls == 2; }, 3000));
  EXPECT_TRUE(QTest::qWaitFor([&] { return messages() == 2; }, 3000));
  EXPECT_TRUE(w.panelLinkBox().port().IsOpen());
  EXPECT_FALSE(w.panelLinkBox().port().DeviceLost());

  // A failing timer tick is reported the same way, and the loop goes on.
  QTimer::singleShot(0, [] { throw std::runtime_error("tick failed"); });
  ASSERT_TRUE(QTest::qWaitFor([&] { return messages() == 3; }, 3000));
  EXPECT_EQ(dialogs.last(ScriptedDialogs::Kind::Message)->text, "tick failed");
  EXPECT_TRUE(w.panelLinkBox().port().WriteString("on"));
  EXPECT_EQ(a.read(2), "on");
}

TEST_F(PortFormTest, AnOpenErrorIsReportedAndLeavesTheLinkDisconnected) {
  Pty a;
  link("COM1", a.slave);
  TForm1& w = create();
  w.panelLinkBox().port().SetDeviceOpener([](const std::string&, int& err) -> TVaDevicePtr {
    err = EIO;
    return nullptr;
  });
  panelLink("COM1");
  clickPanel();  // through the event loop: the error reaches the general report
  ASSERT_EQ(messages(), 1);
  EXPECT_FALSE(dialogs.last(ScriptedDialogs::Kind::Message)->text.isEmpty());
  EXPECT_FALSE(w.panelLinkBox().isOpen());
  EXPECT_EQ(Child<QPushButton>(w, "Butt_open_port")->text(), "Connect to port");
  EXPECT_TRUE(Child<QComboBox>(w, "Combo_com_name")->isEnabled());
  EXPECT_NE(Child<ostrel::TStatusBar>(w, "StatusBar1")->panelText(0), "COM1 - 2400,8,Even");
  EXPECT_NE(lastLog(), "COM1 - 2400,8,Even");
}

TEST_F(PortFormTest, ShutdownClosesThePanelLinkFirstAfterTheSettingsWereWritten) {
  Pty a, b;
  link("COM1", a.slave);
  link("COM2", b.slave);
  TForm1& w = create();
  panelLink("COM1", "4800");
  modbusLink("COM2");
  clickPanel();
  clickModbus();
  ASSERT_TRUE(w.panelLinkBox().isOpen() && w.modbusLinkBox().isOpen());
  std::vector<std::string> order;
  w.panelLinkBox().port().OnClose = [&](TVaCustomComm*) { order.push_back("panel:" + readIni().toStdString()); };
  w.modbusLinkBox().port().OnClose = [&](TVaCustomComm*) { order.push_back("modbus"); };
  w.close();
  ASSERT_EQ(order.size(), 2u);
  EXPECT_EQ(order[0].rfind("panel:", 0), 0u);
  EXPECT_NE(order[0].find("Speed=4800"), std::string::npos) << "settings not written before the ports closed";
  EXPECT_EQ(order[1], "modbus");
  EXPECT_FALSE(w.panelLinkBox().isOpen());
  EXPECT_FALSE(w.modbusLinkBox().isOpen());
  const QStringList lines = logLines();
  EXPECT_EQ(lines.mid(lines.size() - 2), QStringList({"Serial port closed", "Serial port for modbus closed"}));
}
