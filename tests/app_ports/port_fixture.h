#pragma once
// A window whose COMn names lead, through a temporary device map, to
// pseudo-terminals whose far ends the test holds.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <string>

#include "form_fixture.h"
#include "serial/VaComm.h"
#include "tests/app/find_control.h"

// The far end of one pseudo-terminal.
struct Pty {
  int master = -1;
  std::string slave;

  Pty() {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
    slave = ptsname(master);
    termios t{};
    tcgetattr(master, &t);
    cfmakeraw(&t);
    tcsetattr(master, TCSANOW, &t);
  }
  ~Pty() { closeMaster(); }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  void closeMaster() {
    if (master >= 0) ::close(master);
    master = -1;
  }

  // Reads until `count` bytes arrived or the deadline passed; the event loop
  // keeps running meanwhile.
  std::string read(size_t count, int timeoutMs = 2000) {
    std::string got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < count && std::chrono::steady_clock::now() < end) {
      pollfd p{master, POLLIN, 0};
      if (::poll(&p, 1, 10) > 0 && (p.revents & POLLIN)) {
        char buf[256];
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n > 0) got.append(buf, static_cast<size_t>(n));
      }
      QCoreApplication::processEvents();
    }
    return got;
  }
  // Whatever arrives within a short quiet period (for "nothing was sent").
  std::string drain(int quietMs = 150) { return read(static_cast<size_t>(-1) >> 1, quietMs); }
};

class PortFormTest : public FormTest {
 protected:
  QTemporaryDir mapDir;

  void SetUp() override { setenv("OSTREL_DEVICE_DIR", mapDir.path().toLocal8Bit().constData(), 1); }
  void TearDown() override {
    form.reset();
    unsetenv("OSTREL_DEVICE_DIR");
  }

  // Points the map entry `com` at `target` (replacing an older entry).
  void link(const char* com, const std::string& target) {
    const std::string entry = mapDir.path().toStdString() + "/" + com;
    ::unlink(entry.c_str());
    ASSERT_EQ(::symlink(target.c_str(), entry.c_str()), 0);
  }

  QString lastLog() const { return logLines().last(); }

  static void setLink(QComboBox* name, QComboBox* speed, QComboBox* parity, QComboBox* stop, const QString& n,
                      const QString& s, const QString& p, const QString& sb) {
    name->setEditText(n);
    speed->setEditText(s);
    parity->setEditText(p);
    stop->setEditText(sb);
  }
  void panelLink(const QString& n, const QString& s = "2400", const QString& p = "Even", const QString& sb = "2") {
    setLink(Child<QComboBox>(form, "Combo_com_name"), Child<QComboBox>(form, "Combo_com_speed"),
            Child<QComboBox>(form, "Combo_com_parity"), Child<QComboBox>(form, "Combo_stop"), n, s, p, sb);
  }
  void modbusLink(const QString& n, const QString& s = "19200", const QString& p = "Even", const QString& sb = "1") {
    setLink(Child<QComboBox>(form, "Combo_com2_name"), Child<QComboBox>(form, "Combo_com2_speed"),
            Child<QComboBox>(form, "Combo_com2_parity"), Child<QComboBox>(form, "Combo_com2_stop"), n, s, p, sb);
  }
  void clickPanel() { QTest::mouseClick(Child<QPushButton>(form, "Butt_open_port"), Qt::LeftButton); }
  void clickModbus() { QTest::mouseClick(Child<QPushButton>(form, "Butt_open_port2"), Qt::LeftButton); }
};
