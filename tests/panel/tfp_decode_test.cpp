#include <gtest/gtest.h>

#include "panel/TFP.h"
#include "tests/panel/fake_panel.h"

using namespace ostrel::panel;
using namespace ostrel::panel::testing;

namespace {
std::string panelReply(int can, int m1, int m2, int m3, int loops, int power, int zones, int lang, int mode) {
  return replyFrame(bytes({0, 0, can, m1, m2, m3, loops, power, zones, lang, mode}));
}
}  // namespace

TEST(DecodePanelInfo, LabelsOfTheExampleAndTheirVariants) {
  FakeView view;
  TFP fp(view);
  EXPECT_EQ(fp.DecodePanelInfo(panelReply(0, 1, 0, 1, 2, 1, 8, 1, 0)), 2);
  EXPECT_EQ(view.labels[PanelLabel::CanAndModules], "CAN вкл., Модул 1, Модул 3,");
  EXPECT_EQ(view.labels[PanelLabel::LoopsPowerZones], "Контури 2, Силов вкл., Зони 8");
  EXPECT_EQ(view.labels[PanelLabel::LanguageAndMode], "Английски език, Дневен режим");

  // CAN: nonzero is off; power: nonzero is on; no modules appends nothing.
  EXPECT_EQ(fp.DecodePanelInfo(panelReply(1, 0, 0, 0, 255, 0, 0, 0, 7)), 255);
  EXPECT_EQ(view.labels[PanelLabel::CanAndModules], "CAN изкл.,");
  EXPECT_EQ(view.labels[PanelLabel::LoopsPowerZones], "Контури 255, Силов изкл., Зони 0");
  EXPECT_EQ(view.labels[PanelLabel::LanguageAndMode], "Руски език, Нощен режим");
  EXPECT_TRUE(view.log.empty());
}

TEST(DecodePanelInfo, RefusedAndShortRepliesKeepTheLabels) {
  FakeView view;
  TFP fp(view);
  fp.DecodePanelInfo(panelReply(0, 0, 0, 0, 2, 1, 4, 0, 0));
  const auto before = view.labels;
  EXPECT_FALSE(fp.DecodePanelInfo(replyFrame(bytes({5}))));
  EXPECT_EQ(view.labels[PanelLabel::CanAndModules], "Грешка при команда 0x48");
  EXPECT_EQ(view.labels[PanelLabel::LoopsPowerZones], before.at(PanelLabel::LoopsPowerZones));
  EXPECT_EQ(view.labels[PanelLabel::LanguageAndMode], before.at(PanelLabel::LanguageAndMode));
  EXPECT_EQ(view.log.back(), "Грешка при команда 0x48");

  view.labels = before;
  // Result byte 0 but the data stops before the operating mode.
  const std::string shortReply = replyFrame(bytes({0, 0, 0, 1, 0, 1, 2, 1, 8, 1}));
  EXPECT_FALSE(fp.DecodePanelInfo(shortReply));
  EXPECT_EQ(view.labels, before);
  EXPECT_EQ(view.log.back(), "Panel information reply too short (21 bytes), ignored");
  for (size_t n = 0; n < 22; ++n) EXPECT_FALSE(fp.DecodePanelInfo(shortReply.substr(0, n)));
}

TEST(DecodeLoopInfo, CellsAndDeviceFlag) {
  FakeView view;
  TFP fp(view);
  bool have = false;
  EXPECT_EQ(fp.DecodeLoopInfo(replyFrame(bytes({0, 0, 0, 0x01, 0xF4, 1, 0})), have), 0);
  EXPECT_FALSE(have);
  EXPECT_EQ(fp.DecodeLoopInfo(replyFrame(bytes({0, 1, 12, 0, 0, 0, 1})), have), 12);
  EXPECT_TRUE(have);
  fp.DecodeLoopInfo(replyFrame(bytes({0, 2, 0, 0xFF, 0xFF, 0, 0})), have);
  fp.DecodeLoopInfo(replyFrame(bytes({0, 200, 0, 0, 0, 0, 0})), have);
  EXPECT_TRUE(have);  // never set back
  using Row = std::vector<std::string>;
  ASSERT_EQ(view.loopRows.size(), 4u);
  EXPECT_EQ(view.loopRows[0], (Row{"Loop 1", "0", "500", "Вкл.", "Авт.", ""}));
  EXPECT_EQ(view.loopRows[1], (Row{"Loop 2", "12", "0", "Изкл.", "Ръчна", ""}));
  EXPECT_EQ(view.loopRows[2], (Row{"Силов ", "0", "65535", "Изкл.", "Авт.", ""}));
  EXPECT_EQ(view.loopRows[3][0], "Силов ");

  EXPECT_FALSE(fp.DecodeLoopInfo(replyFrame(bytes({1})), have));
  EXPECT_EQ(view.log.back(), "Error reading info for this loop...");
  EXPECT_FALSE(fp.DecodeLoopInfo(replyFrame(bytes({0, 0, 3, 0, 0, 1})), have));
  EXPECT_EQ(view.log.back(), "Loop information reply too short (17 bytes), ignored");
  EXPECT_EQ(view.loopRows.size(), 4u);
}

TEST(DecodeDevice, CellsOfTheExample) {
  FakeView view;
  TFP fp(view);
  // address 5, old 4, next 6, branches 0, previous 4, ID 0 1 2 3, type 2,
  // two unused bytes, zone 3, status 1, flags 0x0A.
  EXPECT_TRUE(fp.DecodeDevice(replyFrame(bytes({0, 5, 4, 6, 0, 4, 0, 1, 2, 3, 2, 9, 9, 3, 1, 0x0A})), 0));
  using Row = std::vector<std::string>;
  ASSERT_EQ(view.deviceRows.size(), 1u);
  EXPECT_EQ(view.deviceRows[0],
            (Row{"Loop 1, 5", "6", "2=ZR 402", "4", "6", "4", "Нет ветви", "3", "Вкл.", "0A", "Input reg 5"}));
  // Second loop, branches, status 2, ID sum of four 0xFF, unknown type.
  fp.DecodeDevice(replyFrame(bytes({0, 250, 0, 0, 1, 0, 255, 255, 255, 255, 0, 0, 0, 0, 2, 0xF0})), 1);
  EXPECT_EQ(view.deviceRows[1], (Row{"Loop 2, 250", "1020", "0=Unknown", "0", "0", "0", "Есть ветви", "0", "Изкл.",
                                     "F0", "Input reg 250"}));

  EXPECT_FALSE(fp.DecodeDevice(replyFrame(bytes({3})), 0));
  EXPECT_EQ(view.log.back(), "Error reading info for this loop...");
  EXPECT_FALSE(fp.DecodeDevice(replyFrame(bytes({0, 5, 4, 6, 0, 4, 0, 1, 2, 3, 2, 9, 9, 3, 1})), 0));
  EXPECT_EQ(view.log.back(), "Device information reply too short (26 bytes), ignored");
  EXPECT_EQ(view.deviceRows.size(), 2u);
}

TEST(DecodeDevice, TypeNames) {
  const std::pair<int, const char*> known[] = {{1, "ZR 401"},   {2, "ZR 402"},   {3, "ZR 403"},   {4, "ZR 404"},
                                               {5, "ZR 405"},   {7, "ZR 406"},   {8, "ZR 407"},   {193, "ZR 408"},
                                               {200, "ZR 409"}, {128, "ZR 410"}, {130, "ZR 411"}, {131, "ZR 412"},
                                               {132, "ZR 413"}, {133, "ZR 414"}};
  int named = 0;
  for (int code = 0; code < 256; ++code) {
    const std::string name = TFP::DeviceTypeName(code);
    if (name != "Unknown") ++named;
  }
  EXPECT_EQ(named, 14);
  for (auto [code, name] : known) EXPECT_EQ(TFP::DeviceTypeName(code), name);
  for (int code : {0, 6, 129, 255}) EXPECT_EQ(TFP::DeviceTypeName(code), "Unknown");
  EXPECT_EQ(TFP::DeviceCells(replyFrame(bytes({0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 133, 0, 0, 0, 0, 0})), 0)[2],
            "133=ZR 414");
}
