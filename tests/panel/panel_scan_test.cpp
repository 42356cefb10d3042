#include <gtest/gtest.h>

#include <algorithm>

#include "panel/PanelScan.h"
#include "panel/ReplyMatch.h"
#include "panel/TFP.h"
#include "tests/panel/fake_panel.h"

using namespace ostrel::panel;
using namespace ostrel::panel::testing;
using Req = std::vector<std::vector<int>>;

namespace {
bool logged(const FakeView& v, const std::string& line) {
  return std::find(v.log.begin(), v.log.end(), line) != v.log.end();
}
}  // namespace

TEST(PanelScan, RequestOrderAndTablesForCounts3And2) {
  FakeView view;
  ScriptedPanel panel{panelWith(2, 3, 2)};
  panel.attach(view);
  PanelScan scan(view);
  scan.StartScan();
  panel.run(scan);
  EXPECT_EQ(view.requests(), (Req{{0x48, 0, 0}, {0x43, 0, 0}, {0x43, 1, 0}, {0x41, 0, 1}, {0x41, 0, 2}, {0x41, 1, 1}}));
  EXPECT_FALSE(view.timer);
  EXPECT_EQ(view.labels[PanelLabel::LoopsPowerZones], "Контури 2, Силов вкл., Зони 8");
  ASSERT_EQ(view.loopRows.size(), 2u);
  EXPECT_EQ(view.loopRows[1][0], "Loop 2");
  ASSERT_EQ(view.deviceRows.size(), 3u);
  EXPECT_EQ(view.deviceRows[0][0], "Loop 1, 1");
  EXPECT_EQ(view.deviceRows[1][0], "Loop 1, 2");
  EXPECT_EQ(view.deviceRows[2][0], "Loop 2, 1");
  // Every request is logged, then its reply; the scan's start and each reply purge the port.
  const auto sent = std::count_if(view.log.begin(), view.log.end(), [](auto& l) { return l.rfind("SENT: ", 0) == 0; });
  const auto got = std::count_if(view.log.begin(), view.log.end(), [](auto& l) { return l.rfind("QVFP: ", 0) == 0; });
  EXPECT_EQ(sent, 6);
  EXPECT_EQ(got, 6);
  EXPECT_EQ(view.purges, 1 + 6);
  EXPECT_EQ(view.log[1].substr(0, 18), "QVFP: 02 03 12 34 ");
}

TEST(PanelScan, DeviceCountEdgeCases) {
  struct Case {
    int loops, c0, c1;
    Req devices;
  };
  const Case cases[] = {
      {2, 3, 0, {{0x41, 0, 1}, {0x41, 0, 2}, {0x41, 1, 1}}},
      {1, 1, 2, {{0x41, 0, 1}, {0x41, 1, 1}}},  // loop count 1 still reads the second loop
      {2, 0, 4, {{0x41, 0, 1}, {0x41, 1, 1}, {0x41, 1, 2}, {0x41, 1, 3}}},
      {2, 0, 0, {}},
  };
  for (const auto& c : cases) {
    FakeView view;
    ScriptedPanel panel{panelWith(c.loops, c.c0, c.c1)};
    panel.attach(view);
    PanelScan scan(view);
    scan.StartScan();
    panel.run(scan);
    Req expected{{0x48, 0, 0}, {0x43, 0, 0}, {0x43, 1, 0}};
    expected.insert(expected.end(), c.devices.begin(), c.devices.end());
    EXPECT_EQ(view.requests(), expected) << c.loops << " " << c.c0 << " " << c.c1;
    EXPECT_FALSE(scan.timerEnabled());
  }
}

TEST(PanelScan, ZeroLoopsAndRefusedPanelInformationEndTheScan) {
  for (bool refused : {false, true}) {
    FakeView view;
    ScriptedPanel panel{
        [&](const std::string&) { return lineEncode(replyFrame(refused ? bytes({1}) : panelData(0))); }};
    panel.attach(view);
    PanelScan scan(view);
    scan.StartScan();
    panel.run(scan);
    EXPECT_EQ(view.writes.size(), 1u);
    EXPECT_EQ(view.log.back(), "No loops to read...");
    EXPECT_FALSE(view.timer);
  }
}

TEST(PanelScan, ReplySplitOverEventsAndOversizedEvents) {
  FakeView view;
  ScriptedPanel panel{panelWith(2, 3, 2)};
  panel.chunks = 7;
  panel.attach(view);
  PanelScan scan(view);
  scan.StartScan();
  panel.run(scan);
  EXPECT_EQ(view.requests().size(), 6u);
  EXPECT_EQ(view.deviceRows.size(), 3u);

  // A partial reply is not handled; the tick after the end byte handles it.
  FakeView v2;
  PanelScan s2(v2);
  s2.StartScan();
  const std::string line = lineEncode(replyFrame(panelData(0)));
  s2.CollectReply(line.substr(0, 10));
  s2.Tick();
  EXPECT_EQ(s2.waitTicks(), 1);
  EXPECT_TRUE(s2.timerEnabled());
  s2.CollectReply(line.substr(10));
  s2.Tick();
  EXPECT_FALSE(s2.timerEnabled());
  EXPECT_EQ(v2.log.back(), "No loops to read...");

  // More than 1024 bytes in one event are all kept.
  FakeView v3;
  PanelScan s3(v3);
  s3.StartScan();
  const std::string big(3000, 'A');
  s3.CollectReply(big);
  s3.CollectReply(big + "\x04");
  EXPECT_EQ(s3.rxBuffer().size(), 6001u);
  EXPECT_TRUE(s3.replyDone());

  // Reading by count: pieces of at most 1024 bytes, short reads retried,
  // nothing past the reported count taken.
  FakeView v4;
  PanelScan s4(v4);
  s4.StartScan();
  std::string port;
  for (int i = 0; i < 2600; ++i) port += static_cast<char>('0' + i % 10);
  port +=
      "\x04"
      "tail";
  std::vector<size_t> asked;
  auto read = [&](size_t max) {
    asked.push_back(max);
    const std::string piece = port.substr(0, std::min<size_t>(max, 700));
    port.erase(0, piece.size());
    return piece;
  };
  s4.CollectReply(2601, read);
  EXPECT_EQ(s4.rxBuffer().size(), 2601u);
  EXPECT_EQ(s4.rxBuffer().substr(0, 12), "012345678901");
  EXPECT_TRUE(s4.replyDone());
  EXPECT_EQ(port, "tail");
  EXPECT_TRUE(std::all_of(asked.begin(), asked.end(), [](size_t m) { return m <= 1024; }));
  EXPECT_EQ(asked.front(), 1024u);
}

TEST(PanelScan, NoResponseAfter500Ticks) {
  for (bool portOpen : {false, true}) {
    FakeView view;
    view.portOpen = portOpen;
    PanelScan scan(view);
    scan.StartScan();
    EXPECT_EQ(view.log.front(), portOpen ? std::string("SENT: 02 03 12 34 5B 48 00 03 00 00 00 00 EF 04 ")
                                         : std::string("Serial port is not opened"));
    for (int i = 0; i < 499; ++i) scan.Tick();
    EXPECT_TRUE(view.timer);
    EXPECT_EQ(view.log.size(), 1u);
    scan.Tick();
    EXPECT_FALSE(view.timer);
    EXPECT_EQ(view.log.back(), "no response");
    EXPECT_EQ(view.purges, 1 + 1);  // the start's and the time-out's
    // Further (stale) ticks count nothing and log nothing.
    scan.Tick();
    EXPECT_EQ(scan.waitTicks(), 500);
    EXPECT_EQ(view.log.size(), 2u);
  }
}

TEST(PanelScan, StopDuringDevicesKeepsRowsAndDropsLateReply) {
  FakeView view;
  ScriptedPanel panel{panelWith(2, 5, 0)};
  panel.attach(view);
  PanelScan scan(view);
  scan.StartScan();
  // Run until two device rows exist, then press STOP with a reply pending.
  while (view.deviceRows.size() < 2) {
    for (auto& r : panel.pending) scan.CollectReply(r);
    panel.pending.clear();
    scan.Tick();
  }
  scan.StopScan();
  EXPECT_FALSE(view.timer);
  for (auto& r : panel.pending) scan.CollectReply(r);
  for (int i = 0; i < 600; ++i) scan.Tick();
  EXPECT_EQ(view.deviceRows.size(), 2u);
  EXPECT_EQ(view.loopRows.size(), 2u);
  EXPECT_FALSE(logged(view, "no response"));
  EXPECT_EQ(scan.scanStep(), 3);
}

TEST(PanelScan, SecondScanAppendsLoopRowsAndUsesTheirCounts) {
  FakeView view;
  int c0 = 2;
  ScriptedPanel panel{[&](const std::string& f) { return panelWith(2, c0, 0)(f); }};
  panel.attach(view);
  PanelScan scan(view);
  scan.StartScan();
  panel.run(scan);
  EXPECT_EQ(view.deviceRows.size(), 2u);  // (0,1) and (1,1)
  c0 = 4;
  view.writes.clear();
  scan.StartScan();
  panel.run(scan);
  EXPECT_EQ(view.loopRows.size(), 4u);
  EXPECT_EQ(view.loopRows[2][1], "4");
  EXPECT_EQ(view.requests(),
            (Req{{0x48, 0, 0}, {0x43, 0, 0}, {0x43, 1, 0}, {0x41, 0, 1}, {0x41, 0, 2}, {0x41, 0, 3}, {0x41, 1, 1}}));
}

TEST(PanelScan, BadFramesAndShortRepliesLetTheScanGoOn) {
  // The first loop's reply fails its check, a device reply is too short and
  // another device is refused: each is logged, no row is written for it, and
  // the next request still goes out. The failed loop's devices are skipped.
  FakeView view;
  ScriptedPanel panel{[&](const std::string& f) -> std::string {
    const int code = static_cast<unsigned char>(f[5]), a = static_cast<unsigned char>(f[8]),
              b = static_cast<unsigned char>(f[9]);
    if (code == 0x43 && a == 0) {
      std::string bad = replyFrame(loopData(0, 3));
      bad[bad.size() - 3] ^= 0x10;
      return lineEncode(bad);
    }
    if (code == 0x41 && b == 1) return lineEncode(replyFrame(deviceData(1).substr(0, 10)));
    if (code == 0x41 && b == 2) return lineEncode(replyFrame(bytes({7})));
    return panelWith(2, 3, 4)(f);
  }};
  panel.attach(view);
  PanelScan scan(view);
  scan.StartScan();
  panel.run(scan);
  EXPECT_EQ(view.requests(), (Req{{0x48, 0, 0}, {0x43, 0, 0}, {0x43, 1, 0}, {0x41, 1, 1}, {0x41, 1, 2}, {0x41, 1, 3}}));
  EXPECT_TRUE(logged(view, "Error in CRC of the packet!"));
  EXPECT_TRUE(logged(view, "error CRC"));
  EXPECT_TRUE(logged(view, "Device information reply too short (21 bytes), ignored"));
  EXPECT_TRUE(logged(view, "Error reading info for this loop..."));
  ASSERT_EQ(view.loopRows.size(), 1u);
  ASSERT_EQ(view.deviceRows.size(), 1u);
  EXPECT_EQ(view.deviceRows[0][0], "Loop 2, 3");

  // A failed second loop ends the device phase after the first loop.
  FakeView v2;
  ScriptedPanel p2{[&](const std::string& f) -> std::string {
    if (static_cast<unsigned char>(f[5]) == 0x43 && f[8] == 1) return lineEncode(replyFrame(bytes({1})));
    return panelWith(2, 3, 4)(f);
  }};
  p2.attach(v2);
  PanelScan s2(v2);
  s2.StartScan();
  p2.run(s2);
  EXPECT_EQ(v2.requests(), (Req{{0x48, 0, 0}, {0x43, 0, 0}, {0x43, 1, 0}, {0x41, 0, 1}, {0x41, 0, 2}}));
}

TEST(PanelScan, GarbageAndTrailingBytesFailTheCheck) {
  FakeView view;
  PanelScan scan(view);
  scan.StartScan();
  scan.CollectReply("xy" + lineEncode(replyFrame(panelData(2))));
  scan.Tick();
  EXPECT_EQ(view.log[view.log.size() - 2], "Error in some of the Start/Stop/ID/CMD bytes");
  EXPECT_EQ(view.log.back(), "error CRC");
  EXPECT_EQ(view.writes.size(), 1u);
  // Ticks before any scan do nothing.
  FakeView idle;
  PanelScan never(idle);
  never.Tick();
  EXPECT_TRUE(idle.log.empty());
}

TEST(PanelScan, ExpiringTheWaitByAnOuterClockEndsLikeTheLastTick) {
  FakeView view;
  PanelScan scan(view);
  scan.ExpireReplyWait();  // nothing awaited yet
  EXPECT_TRUE(view.log.empty());
  scan.StartScan();
  for (int i = 0; i < 7; ++i) scan.Tick();
  scan.ExpireReplyWait();
  EXPECT_FALSE(view.timer);
  EXPECT_EQ(view.log.back(), "no response");
  EXPECT_EQ(view.purges, 1 + 1);  // the start's and the time-out's
  EXPECT_EQ(scan.waitTicks(), kReplyTimeoutTicks);
  scan.ExpireReplyWait();  // already ended: nothing more
  EXPECT_EQ(view.log.size(), 2u);

  // A complete reply is never expired: the next tick still handles it.
  FakeView answered;
  ScriptedPanel panel{panelWith(0, 0, 0)};
  panel.attach(answered);
  PanelScan second(answered);
  second.StartScan();
  second.CollectReply(panel.pending.front());
  ASSERT_TRUE(second.replyDone());
  second.ExpireReplyWait();
  EXPECT_TRUE(answered.timer);
  second.Tick();
  EXPECT_EQ(answered.log.back(), "No loops to read...");
}

TEST(PanelScan, RetryRequestSendsTheAwaitedRequestAgain) {
  FakeView view;
  PanelScan scan(view);
  scan.RetryRequest();  // nothing awaited: nothing sent
  EXPECT_TRUE(view.writes.empty());

  int calls = 0;
  // Loop 0's information is lost once, then answered.
  ScriptedPanel panel{[&](const std::string& f) -> std::string {
    if (f[5] == 0x43 && f[8] == 0 && calls++ == 0) return "";
    return panelWith(2, 3, 0)(f);
  }};
  panel.attach(view);
  scan.StartScan();
  panel.run(scan, 3);  // the panel information handled, loop 0 asked for
  for (int i = 0; i < 10; ++i) scan.Tick();
  ASSERT_FALSE(scan.replyDone());
  const int purges = view.purges;
  scan.RetryRequest();
  EXPECT_EQ(view.purges, purges + 1);
  EXPECT_EQ(scan.waitTicks(), 0);
  EXPECT_EQ(scan.scanStep(), 2);
  ASSERT_GE(view.requests().size(), 3u);
  EXPECT_EQ(view.requests()[2], view.requests()[1]);
  panel.run(scan);
  EXPECT_EQ(view.loopRows.size(), 2u);
  EXPECT_EQ(view.deviceRows.size(), 3u);
  EXPECT_EQ(scan.requestsSent(), 7u);  // panel, loop 0 twice, loop 1, devices 1..2, and device 1 of loop 1
}

TEST(PanelScan, ARejectedReplyIsHandledAsABadFrame) {
  FakeView view;
  ScriptedPanel panel{panelWith(2, 3, 3)};
  panel.attach(view);
  PanelScan scan(view);
  scan.RejectReply();  // nothing awaited
  EXPECT_TRUE(view.log.empty());
  scan.StartScan();
  panel.run(scan, 1);  // panel information, then loop 0 asked for
  scan.RejectReply();  // its reply not in yet: nothing happens
  EXPECT_TRUE(view.timer);
  scan.CollectReply(panel.pending.front());
  panel.pending.clear();
  scan.RejectReply();
  EXPECT_EQ(view.log[view.log.size() - 2], "error CRC");  // then loop 1 is asked for
  EXPECT_TRUE(view.loopRows.empty());
  panel.run(scan);
  // Loop 0 has no row and so no devices asked for; loop 1 is read.
  ASSERT_EQ(view.loopRows.size(), 1u);
  EXPECT_EQ(view.loopRows[0][0], "Loop 2");
  ASSERT_EQ(view.deviceRows.size(), 2u);
  EXPECT_EQ(view.deviceRows[0][0], "Loop 2, 1");
}

TEST(ReplyMatch, AReplyIsPutDownToAnotherRequestOnlyWhenItNamesOne) {
  const auto withLowByteWrong = [](std::string f) {
    f[f.size() - 2] ^= 0x01;
    return f;
  };
  struct Case {
    const char* what;
    std::string reply;
    PanelRequestId awaited;
    bool another;
  };
  const Case cases[] = {
      {"panel information for a loop request", replyFrame(panelData(2), 0x48), {0x43, 0, 0}, true},
      {"loop 1 for loop 2", replyFrame(loopData(0, 3), 0x43), {0x43, 1, 0}, true},
      {"loop 2 for loop 2", replyFrame(loopData(1, 3), 0x43), {0x43, 1, 0}, false},
      {"the power part for loop 2", replyFrame(loopData(2, 3), 0x43), {0x43, 1, 0}, false},
      {"device 4 for device 1 of loop 2", replyFrame(deviceData(4), 0x41), {0x41, 1, 1}, true},
      {"device 1 for device 1 of another loop", replyFrame(deviceData(1), 0x41), {0x41, 1, 1}, false},
      {"a refusal of the awaited code", replyFrame(bytes({1}), 0x41), {0x41, 0, 3}, false},
      {"no code in the header", replyFrame(deviceData(4)), {0x41, 1, 1}, false},
      {"a damaged reply", withLowByteWrong(replyFrame(deviceData(4), 0x41)), {0x41, 1, 1}, false},
      {"too short to name anything", bytes({0x02, 0x03, 0x12, 0x04}), {0x41, 1, 1}, false},
  };
  for (const Case& c : cases) EXPECT_EQ(AnswersAnotherRequest(c.reply, c.awaited), c.another) << c.what;
}

// A reply that comes late or twice (a stalled line, a request asked again)
// arrives while the next request is awaited: it is dropped with a log line
// and the awaited reply, in the same receive event or a later one, is used.
TEST(PanelScan, ALateAnswerToAnEarlierRequestIsDroppedAndTheWaitGoesOn) {
  for (const bool sameEvent : {false, true}) {
    FakeView view;
    const auto answer = panelWith(2, 5, 3, true);
    std::string previous;
    ScriptedPanel panel{[&](const std::string& f) {
      std::string reply = answer(f);
      // Device 4 of loop 1 is answered twice; the copy comes before the
      // answer to the next request, device 1 of loop 2.
      if (f[5] == 0x41 && f[8] == 1 && f[9] == 1) reply = sameEvent ? previous + reply : previous;
      previous = reply;
      return reply;
    }};
    panel.attach(view);
    PanelScan scan(view);
    scan.StartScan();
    panel.run(scan, 40);
    if (!sameEvent && view.timer) {
      // Still waiting for device 1 of loop 2: its answer comes now.
      for (int i = 0; i < 3; ++i) scan.Tick();
      scan.CollectReply(answer(lineDecode(view.writes.back())));
      panel.run(scan);
    }
    std::vector<std::string> names;
    for (const auto& row : view.deviceRows) names.push_back(row[0] + " / " + row[10]);
    EXPECT_EQ(names, (std::vector<std::string>{"Loop 1, 1 / Input reg 1", "Loop 1, 2 / Input reg 2",
                                               "Loop 1, 3 / Input reg 3", "Loop 1, 4 / Input reg 4",
                                               "Loop 2, 1 / Input reg 1", "Loop 2, 2 / Input reg 2"}))
        << sameEvent;
    EXPECT_TRUE(logged(view, "Late reply dropped: it answers device 4, not the request sent last"));
    EXPECT_FALSE(logged(view, "error CRC"));
  }
}

TEST(PanelScan, BytesAfterTheFirstEndByteAreTakenOffForACallerThatJudgesEachReplyAlone) {
  const std::string reply = lineEncode(replyFrame(deviceData(2), 0x41));
  struct Case {
    std::string received, kept, after;
  };
  const Case cases[] = {
      {reply, reply, ""},
      {reply + reply, reply, reply},
      {reply + reply.substr(0, 7), reply, reply.substr(0, 7)},
      {reply.substr(0, 9), reply.substr(0, 9), ""},  // no end byte yet: nothing taken
  };
  for (const Case& c : cases) {
    FakeView view;
    PanelScan scan(view);
    scan.StartScan();
    scan.CollectReply(c.received);
    EXPECT_EQ(scan.TakeBytesAfterReply(), c.after);
    EXPECT_EQ(scan.rxBuffer(), c.kept);
  }
}
