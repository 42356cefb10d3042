// The scan against the simulated panel over a real pseudo-terminal: the C++
// codec and the simulator's own encoder must agree byte for byte.
#include <gtest/gtest.h>

#include <sys/ioctl.h>

#include <algorithm>
#include <thread>

#include "panel/TFP.h"

#include "tests/panel/sim_driver.h"

using namespace ostrel::panel;
using namespace ostrel::panel::testing;

namespace {
int count(const PtyView& v, const std::string& line) {
  return static_cast<int>(std::count(v.log.begin(), v.log.end(), line));
}
}  // namespace

TEST(PanelSim, FullScanOfTheDefaultPanel) {
  for (const auto& opts : {std::vector<std::string>{}, {"--split", "4"}}) {
    Simulator sim(opts);
    PtyView view(sim.path());
    PanelScan scan(view);
    scan.StartScan();
    RunScan(scan, view, std::chrono::seconds(20));
    EXPECT_EQ(view.labels[0], "CAN вкл., Модул 1, Модул 3,");
    EXPECT_EQ(view.labels[1], "Контури 2, Силов вкл., Зони 8");
    EXPECT_EQ(view.labels[2], "Английски език, Дневен режим");
    ASSERT_EQ(view.loopRows.size(), 2u);
    EXPECT_EQ(view.loopRows[0], (std::vector<std::string>{"Loop 1", "5", "500", "Вкл.", "Авт.", ""}));
    EXPECT_EQ(view.loopRows[1][4], "Ръчна");
    // Devices 1..N-1 of each loop.
    ASSERT_EQ(view.deviceRows.size(), 6u);
    EXPECT_EQ(view.deviceRows[3][0], "Loop 1, 4");
    EXPECT_EQ(view.deviceRows[3][2], "193=ZR 408");
    EXPECT_EQ(view.deviceRows[5][0], "Loop 2, 2");
    EXPECT_EQ(view.deviceRows[5][2], "200=ZR 409");
    EXPECT_EQ(count(view, "error CRC"), 0);
    EXPECT_EQ(count(view, "no response"), 0);
  }
}

TEST(PanelSim, AReplyLeftOnTheLineByAnEarlierExchangeIsNotTakenForTheScans) {
  Simulator sim({});
  PtyView view(sim.path());
  // An earlier exchange asked for device 2 of loop 1 and went away before its reply came.
  TFP(view).SendRequest(kCodeDeviceInfo, 3, std::string("\x00\x02\x00", 3));
  int waiting = 0, before = -1;
  for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
       (waiting == 0 || waiting != before) && std::chrono::steady_clock::now() < end;) {
    before = waiting;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ioctl(view.fd, FIONREAD, &waiting);
  }
  ASSERT_GT(waiting, 0);

  PanelScan scan(view);
  scan.StartScan();
  RunScan(scan, view, std::chrono::seconds(20));
  EXPECT_EQ(view.labels[1], "Контури 2, Силов вкл., Зони 8");
  ASSERT_EQ(view.deviceRows.size(), 6u);
  EXPECT_EQ(view.deviceRows[0][0], "Loop 1, 1");
  EXPECT_EQ(view.deviceRows[5][0], "Loop 2, 2");
}

TEST(PanelSim, FaultsOnTheLine) {
  {  // A refused device and a bad loop checksum: logged, no rows, scan goes on.
    Simulator sim({"--refuse", "device:1:1", "--bad-checksum", "loop:0"});
    PtyView view(sim.path());
    PanelScan scan(view);
    scan.StartScan();
    RunScan(scan, view, std::chrono::seconds(20));
    EXPECT_EQ(count(view, "Error in CRC of the packet!"), 1);
    EXPECT_EQ(count(view, "Error reading info for this loop..."), 1);
    ASSERT_EQ(view.loopRows.size(), 1u);
    ASSERT_EQ(view.deviceRows.size(), 1u);  // loop 1 skipped, (1,1) refused, (1,2) read
    EXPECT_EQ(view.deviceRows[0][0], "Loop 2, 2");
  }
  {  // Garbage before the frame fails the frame check and ends the scan.
    Simulator sim({"--garbage", "xx"});
    PtyView view(sim.path());
    PanelScan scan(view);
    scan.StartScan();
    RunScan(scan, view, std::chrono::seconds(20));
    EXPECT_EQ(count(view, "Error in some of the Start/Stop/ID/CMD bytes"), 1);
    EXPECT_EQ(view.loopRows.size(), 0u);
  }
  {  // A silent panel: "no response" after 500 ticks.
    Simulator sim({"--silent", "loop:1"});
    PtyView view(sim.path());
    PanelScan scan(view);
    scan.StartScan();
    const long ticks = RunScan(scan, view, std::chrono::seconds(30));
    EXPECT_EQ(view.log.back(), "no response");
    EXPECT_EQ(view.loopRows.size(), 1u);
    EXPECT_GE(ticks, 500);
  }
}
