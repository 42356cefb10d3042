// "Scan local FP" through the window against the simulated panel: labels,
// both tables, the log lines, the scan timer and the port reads.
#include <QLabel>

#include "ScanPage.h"
#include "SerialLinkBox.h"
#include "panel/PanelScan.h"
#include "scan_fixture.h"
#include "serial/VaComm.h"
#include "tests/app/find_control.h"

using ostrel::serial::TVaCustomComm;

TEST_F(ScanWindowTest, FullScanFillsLabelsTablesAndLog) {
  startPanel({});
  connectPanel();
  EXPECT_EQ(Child<ostrel::TTimer>(form, "Timer_free_command")->Interval(), 5);
  Child<QPushButton>(form, "BitBtn1")->click();
  EXPECT_TRUE(Child<ostrel::TTimer>(form, "Timer_free_command")->Enabled());  // waiting for the first reply
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Child<ostrel::TTimer>(form, "Timer_free_command")->Enabled(); }, 30000));

  EXPECT_EQ(Child<QLabel>(form, "Label6")->text(), QString::fromUtf8("CAN вкл., Модул 1, Модул 3,"));
  EXPECT_EQ(Child<QLabel>(form, "Label7")->text(), QString::fromUtf8("Контури 2, Силов вкл., Зони 8"));
  EXPECT_EQ(Child<QLabel>(form, "Label10")->text(), QString::fromUtf8("Английски език, Дневен режим"));

  // Row 0 keeps the headers; the loop rows come below it.
  ASSERT_EQ(Child<ostrel::TStringGrid>(form, "gridLoops")->RowCount(), 3) << lines().join("\n").toStdString();
  EXPECT_EQ(Child<ostrel::TStringGrid>(form, "gridLoops")->Cells(0, 0), QString::fromUtf8("Контур "));
  EXPECT_EQ(row(Child<ostrel::TStringGrid>(form, "gridLoops"), 1),
            (QStringList{"Loop 1", "5", "500", QString::fromUtf8("Вкл."), QString::fromUtf8("Авт."), ""}));
  EXPECT_EQ(row(Child<ostrel::TStringGrid>(form, "gridLoops"), 2),
            (QStringList{"Loop 2", "3", "350", QString::fromUtf8("Вкл."), QString::fromUtf8("Ръчна"), ""}));

  // Devices 1..N-1 of each loop, then the empty spare row.
  EXPECT_EQ(deviceNames(), (QStringList{"Loop 1, 1", "Loop 1, 2", "Loop 1, 3", "Loop 1, 4", "Loop 2, 1", "Loop 2, 2"}));
  const int spare = Child<ostrel::TStringGrid>(form, "GridDevices")->RowCount() - 1;
  EXPECT_EQ(row(Child<ostrel::TStringGrid>(form, "GridDevices"), spare).join(""), "");
  EXPECT_EQ(row(Child<ostrel::TStringGrid>(form, "GridDevices"), 3),
            (QStringList{"Loop 1, 3", "158", "5=ZR 405", "3", "4", "2", QString::fromUtf8("Есть ветви"), "2",
                         QString::fromUtf8("Вкл."), "0A", "Input reg 3"}));
  EXPECT_EQ(Child<ostrel::TStringGrid>(form, "GridDevices")->Cells(8, 4), QString::fromUtf8("Изкл."));

  // Every request logged as sent is answered by one logged reply, in order.
  EXPECT_EQ(requests(), (QStringList{"48 00 00 00", "43 00 00 00", "43 01 00 00", "41 00 01 00", "41 00 02 00",
                                     "41 00 03 00", "41 00 04 00", "41 01 01 00", "41 01 02 00"}));
  const QStringList log = lines();
  int sent = 0, replies = 0;
  for (const QString& l : log) {
    if (l.startsWith("SENT: ")) {
      EXPECT_EQ(sent, replies) << "a request before the previous reply: " << l.toStdString();
      ++sent;
    } else if (l.startsWith("QVFP: 02 03 12 34 ")) {
      ++replies;
    }
  }
  EXPECT_EQ(replies, sent);
  EXPECT_EQ(count("error CRC"), 0);
  EXPECT_EQ(count("no response"), 0);
  EXPECT_EQ(dialogs.count(ostrel::ScriptedDialogs::Kind::Message), 0);
}

TEST_F(ScanWindowTest, RequestOrderFollowsTheReportedCounts) {
  struct Case {
    std::vector<std::string> options;
    QStringList devices;  // device requests after the loop requests
    QStringList rows;     // device rows written
    int refused;          // device requests the panel refused
  };
  const std::vector<Case> cases = {
      {{"--devices", "3,2"}, {"41 00 01 00", "41 00 02 00", "41 01 01 00"}, {"Loop 1, 1", "Loop 1, 2", "Loop 2, 1"}, 0},
      // Loop 2 reports no devices: its device 1 is still asked for; the panel
      // refuses it and no row is written.
      {{"--devices", "3,0"}, {"41 00 01 00", "41 00 02 00", "41 01 01 00"}, {"Loop 1, 1", "Loop 1, 2"}, 1},
      // One loop reported: the second loop's information is still asked for.
      {{"--loops", "1", "--devices", "2,2"}, {"41 00 01 00", "41 01 01 00"}, {"Loop 1, 1", "Loop 2, 1"}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options[1]);
    newWindow();  // a fresh window for each panel
    startPanel(c.options);
    connectPanel();
    scan();
    EXPECT_EQ(requests(), QStringList({"48 00 00 00", "43 00 00 00", "43 01 00 00"}) + c.devices);
    EXPECT_EQ(deviceNames(), c.rows);
    EXPECT_EQ(Child<ostrel::TStringGrid>(form, "gridLoops")->RowCount(), 3);
    EXPECT_EQ(count("Error reading info for this loop..."), c.refused);
  }
}

TEST_F(ScanWindowTest, ReplySplitOverSeveralEventsIsCollected) {
  startPanel({"--split", "4", "--split-gap-ms", "20"});
  connectPanel();
  // Count the port's receive events on the way to the window's handler.
  int events = 0;
  form->panelLinkBox().port().OnRxChar = [&](TVaCustomComm*, int32_t) {
    ++events;
    form->scanPage().Comm1RxChar();
  };
  scan();
  const int replies = static_cast<int>(requests().size());
  EXPECT_EQ(replies, 9);
  EXPECT_GE(events, 2 * replies);  // 20 ms apart, the parts arrive one by one
  EXPECT_EQ(deviceNames().size(), 6);
  EXPECT_EQ(count("error CRC"), 0);
  EXPECT_EQ(count("no response"), 0);
}

TEST_F(ScanWindowTest, NoResponseEndsTheScan) {
  {  // Disconnected: nothing is sent, the wait runs out all the same.
    Child<QPushButton>(form, "BitBtn1")->click();
    EXPECT_EQ(lines().last(), "Serial port is not opened");
    EXPECT_TRUE(Child<ostrel::TTimer>(form, "Timer_free_command")->Enabled());
    scan(20000);
    EXPECT_EQ(lines().last(), "no response");
    EXPECT_EQ(form->scanPage().scan().waitTicks(), 500);
    EXPECT_EQ(requests().size(), 0);
  }
  {  // A silent panel: one request, then "no response"; nothing else is written.
    newWindow();
    startPanel({"--silent", "all"});
    connectPanel();
    scan(20000);
    EXPECT_EQ(requests(), QStringList{"48 00 00 00"});
    const QStringList log = lines();
    ASSERT_GE(log.size(), 2);
    EXPECT_TRUE(log[log.size() - 2].startsWith("SENT: "));
    EXPECT_EQ(log.last(), "no response");
    EXPECT_EQ(Child<ostrel::TStringGrid>(form, "gridLoops")->RowCount(), 1);
    EXPECT_EQ(Child<QLabel>(form, "Label7")->text(), "");
  }
}

TEST_F(ScanWindowTest, StopDuringTheDevicePhaseKeepsTheRows) {
  startPanel({"--devices", "60,60", "--delay-ms", "5"});
  connectPanel();
  Child<QPushButton>(form, "BitBtn1")->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Child<ostrel::TStringGrid>(form, "GridDevices")->RowCount() >= 5; }, 20000));
  Child<QPushButton>(form, "BitBtn2")->click();
  EXPECT_FALSE(Child<ostrel::TTimer>(form, "Timer_free_command")->Enabled());
  EXPECT_EQ(form->scanPage().scan().scanStep(), 3);
  const QStringList rows = deviceNames();
  const int logLines = static_cast<int>(lines().size());
  ASSERT_GE(rows.size(), 3);
  // The reply to the last request still arrives; nothing more is handled.
  QTest::qWait(200);
  EXPECT_EQ(deviceNames(), rows);
  EXPECT_EQ(lines().size(), logLines);
  EXPECT_EQ(Child<ostrel::TStringGrid>(form, "gridLoops")->RowCount(), 3);
  EXPECT_EQ(rows.first(), "Loop 1, 1");
}

TEST_F(ScanWindowTest, SecondScanAppendsLoopAndDeviceRows) {
  startPanel({"--devices", "3,2"});
  connectPanel();
  scan();
  const QStringList first = requests();
  const QStringList loop1 = row(Child<ostrel::TStringGrid>(form, "gridLoops"), 1),
                    loop2 = row(Child<ostrel::TStringGrid>(form, "gridLoops"), 2);
  scan();
  ASSERT_EQ(Child<ostrel::TStringGrid>(form, "gridLoops")->RowCount(), 5);
  EXPECT_EQ(row(Child<ostrel::TStringGrid>(form, "gridLoops"), 3), loop1);
  EXPECT_EQ(row(Child<ostrel::TStringGrid>(form, "gridLoops"), 4), loop2);
  EXPECT_EQ(requests(), first + first);  // the counts come from the new rows alike
  EXPECT_EQ(deviceNames(), (QStringList{"Loop 1, 1", "Loop 1, 2", "Loop 2, 1", "Loop 1, 1", "Loop 1, 2", "Loop 2, 1"}));
}
