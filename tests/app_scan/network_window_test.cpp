// The window's panel scan with its COM1 mapped to an RFC 2217 URL: Debian's ser2net serves the
// simulated panel's pseudo-terminal on loopback. With OSTREL_SCREENSHOT_HOLD_MS set, the
// connected window stays on screen that long after the scan (for a screenshot).
#include <QFile>
#include <QLabel>

#include "network_peers.h"
#include "scan_fixture.h"

namespace {

using ostrel::cli::testing::Ser2net;

TEST_F(ScanWindowTest, ScansThePanelThroughAnRfc2217Server) {
  startPanel({});
  const QString link = map.path() + "/COM1";
  Ser2net server(sim->path(), map.path().toStdString());
  ASSERT_TRUE(server.ready) << "ser2net did not start";
  // COM1 now names the server, as an engineer maps a device server's line.
  ASSERT_TRUE(QFile::remove(link));
  ASSERT_TRUE(QFile::link(QString::fromStdString(server.rfc()), link));

  connectPanel();
  scan();
  EXPECT_EQ(Child<QLabel>(form, "Label7")->text(), QString::fromUtf8("Контури 2, Силов вкл., Зони 8"));
  EXPECT_EQ(deviceNames(), (QStringList{"Loop 1, 1", "Loop 1, 2", "Loop 1, 3", "Loop 1, 4", "Loop 2, 1", "Loop 2, 2"}));

  if (const int hold = qEnvironmentVariableIntValue("OSTREL_SCREENSHOT_HOLD_MS"); hold > 0) {
    form->show();
    QTest::qWait(hold);
  }
  // The server goes away: the port is lost, once, as a pulled adapter is.
  server.kill();
  ASSERT_TRUE(QTest::qWaitFor([&] { return lines().join('\n').contains("no longer available"); }, 10000))
      << lines().join('\n').toStdString();
  EXPECT_EQ(lines().filter("no longer available").size(), 1);
}

// The same scan with the URL typed as the port's name, as on a machine without a device map.
TEST_F(ScanWindowTest, ScansThePanelThroughAUrlTypedAsThePortsName) {
  startPanel({});
  Ser2net server(sim->path(), map.path().toStdString());
  ASSERT_TRUE(server.ready) << "ser2net did not start";
  Child<QComboBox>(form, "Combo_com_name")->setEditText(QString::fromStdString(server.raw()));
  Child<QPushButton>(form, "Butt_open_port")->click();
  ASSERT_TRUE(form->panelLinkBox().isOpen()) << lines().join('\n').toStdString();
  scan();
  EXPECT_EQ(deviceNames(), (QStringList{"Loop 1, 1", "Loop 1, 2", "Loop 1, 3", "Loop 1, 4", "Loop 2, 1", "Loop 2, 2"}));
}

}  // namespace
