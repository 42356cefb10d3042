#include <gtest/gtest.h>

#include "serial/VaPrst.h"

using namespace ostrel::serial;

namespace {
struct Counter {
  int n = 0;
  void attach(TVaPersistent& p) {
    p.OnChange = [this](TVaPersistent*) { ++n; };
  }
};
}  // namespace

TEST(SerialSettings, DefaultsOfTheThreeObjects) {
  TVaFlowControl f;
  EXPECT_FALSE(f.OutCtsFlow() || f.OutDsrFlow() || f.XonXoffOut() || f.XonXoffIn() || f.DsrSensitivity() ||
               f.TxContinueOnXoff());
  EXPECT_EQ(f.ControlDtr(), dtrDisabled);
  EXPECT_EQ(f.ControlRts(), rtsDisabled);
  TVaEventChars c;
  EXPECT_EQ(c.XonChar(), 17);
  EXPECT_EQ(c.XoffChar(), 19);
  EXPECT_EQ(c.ErrorChar() | c.EventChar() | c.EofChar(), 0);
  TVaBuffers b;
  EXPECT_EQ(b.ReadSize(), 4096);
  EXPECT_EQ(b.WriteSize(), 2048);
  EXPECT_EQ(b.ReadTimeout(), 1000);
  EXPECT_EQ(b.WriteTimeout(), 1000);
  EXPECT_EQ(b.XonLimit(), 1024);
  EXPECT_EQ(b.XoffLimit(), 1024);
}

TEST(SerialSettings, NotificationRules) {
  TVaEventChars c;
  TVaFlowControl f;
  TVaBuffers b;
  Counter cc, fc, bc;
  cc.attach(c);
  fc.attach(f);
  bc.attach(b);
  c.SetXonChar(17);  // unchanged, still notifies
  EXPECT_EQ(cc.n, 1);
  f.SetOutCtsFlow(false);
  b.SetReadSize(4096);
  EXPECT_EQ(fc.n + bc.n, 0);
  b.SetReadTimeout(5);
  b.SetWriteTimeout(5);
  EXPECT_EQ(bc.n, 0);
  EXPECT_EQ(b.ReadTimeout(), 5);
  f.SetOutCtsFlow(true);
  EXPECT_EQ(fc.n, 1);

  // Nested updates notify once, at the outermost end; an unmatched EndUpdate notifies.
  b.BeginUpdate();
  b.BeginUpdate();
  b.SetReadSize(1);
  b.SetWriteSize(2);
  b.EndUpdate();
  EXPECT_EQ(bc.n, 0);
  b.EndUpdate();
  EXPECT_EQ(bc.n, 1);
  b.EndUpdate();
  EXPECT_EQ(b.UpdateCount(), 0);
  EXPECT_EQ(bc.n, 2);
}

TEST(SerialSettings, AssignCopiesWithOneNotification) {
  TVaFlowControl src, dst;
  src.SetOutCtsFlow(true);
  src.SetControlDtr(dtrHandshake);
  src.SetControlRts(rtsToggle);
  src.SetXonXoffIn(true);
  Counter n;
  int seenRts = -1;
  dst.OnChange = [&](TVaPersistent*) {
    ++n.n;
    seenRts = dst.ControlRts();
  };
  dst.Assign(src);
  EXPECT_EQ(n.n, 1);
  EXPECT_EQ(seenRts, rtsToggle);  // after the last value
  EXPECT_TRUE(dst.OutCtsFlow() && dst.XonXoffIn());
  EXPECT_EQ(dst.ControlDtr(), dtrHandshake);

  TVaBuffers other;
  EXPECT_THROW(dst.Assign(other), EVaConvertError);
  EXPECT_EQ(dst.UpdateCount(), 0);

  TVaEventChars ec, ec2;
  ec.SetEofChar(26);
  ec.SetEventChar(13);
  Counter m;
  m.attach(ec2);
  ec2.Assign(ec);
  EXPECT_EQ(m.n, 1);
  EXPECT_EQ(ec2.EofChar(), 26);
  EXPECT_EQ(ec2.EventChar(), 13);
  EXPECT_THROW(ec2.SetChar(6, 1), std::out_of_range);
}

TEST(SerialSettings, RecordForTheWindowSettings) {
  TVaFlowControl f;
  TVaEventChars c;
  TVaBuffers b;
  TVaDcb d = BuildLineConfiguration(br2400, 0, paEven, db8, sb2, 0, f, c, b);
  TVaDcb want{};
  want.BaudRate = 2400;
  want.ByteSize = 8;
  want.Parity = 2;
  want.StopBits = 2;
  want.Flags = 0x0001;
  want.XonChar = 17;
  want.XoffChar = 19;
  want.XonLim = 1024;
  want.XoffLim = 1024;
  EXPECT_EQ(d, want);  // every other field zero, the length field included
}

TEST(SerialSettings, RecordFieldsAndFlags) {
  TVaFlowControl f;
  TVaEventChars c;
  TVaBuffers b;
  c.SetEofChar(0x1A);
  c.SetEventChar(0x0D);
  c.SetErrorChar(0x3F);
  b.SetXonLimit(0x12345);
  b.SetXoffLimit(0x7FFF0001);
  TVaDcb d = BuildLineConfiguration(brUser, 0, paSpace, db5, sb15, 0, f, c, b);
  EXPECT_EQ(d.BaudRate, 0u);
  EXPECT_EQ(d.EofChar, 0x1A);
  EXPECT_EQ(d.EvtChar, 0x0D);
  EXPECT_EQ(d.ErrorChar, 0x3F);
  EXPECT_EQ(d.XonLim, 0x2345);
  EXPECT_EQ(d.XoffLim, 0x0001);
  EXPECT_EQ(d.ByteSize, 5);
  EXPECT_EQ(d.Parity, 4);
  EXPECT_EQ(d.StopBits, 1);
  EXPECT_EQ(BuildLineConfiguration(brUser, 31250, paNone, db4, sb1, 0, f, c, b).BaudRate, 31250u);

  const std::pair<TVaBaudrate, uint32_t> rates[] = {
      {br110, 110}, {br14400, 14400}, {br56000, 56000}, {br128000, 128000}, {br256000, 256000}};
  for (auto [br, rate] : rates) EXPECT_EQ(BuildLineConfiguration(br, 999, paNone, db8, sb1, 0, f, c, b).BaudRate, rate);

  struct Case {
    std::function<void(TVaFlowControl&)> set;
    TVaCommOptions opts;
    uint32_t flags;
  };
  const Case cases[] = {
      {[](auto& x) { x.SetOutCtsFlow(true); }, 0, 0x0005},
      {[](auto& x) { x.SetOutDsrFlow(true); }, 0, 0x0009},
      {[](auto& x) { x.SetControlDtr(dtrEnabled); }, 0, 0x0011},
      {[](auto& x) { x.SetControlDtr(dtrHandshake); }, 0, 0x0021},
      {[](auto& x) { x.SetDsrSensitivity(true); }, 0, 0x0041},
      {[](auto& x) { x.SetTxContinueOnXoff(true); }, 0, 0x0081},
      {[](auto& x) { x.SetXonXoffOut(true); }, 0, 0x0101},
      {[](auto& x) { x.SetXonXoffIn(true); }, 0, 0x0201},
      {[](auto& x) { x.SetControlRts(rtsEnabled); }, 0, 0x1001},
      {[](auto& x) { x.SetControlRts(rtsHandshake); }, 0, 0x2001},
      {[](auto& x) { x.SetControlRts(rtsToggle); }, 0, 0x3001},
      {[](auto&) {}, optionBit(coParityCheck), 0x0003},
      {[](auto&) {}, optionBit(coErrorChar), 0x0401},
      {[](auto&) {}, optionBit(coNullStrip), 0x0801},
  };
  for (const auto& k : cases) {
    TVaFlowControl fc;
    k.set(fc);
    EXPECT_EQ(BuildLineConfiguration(br9600, 0, paNone, db8, sb1, k.opts, fc, c, b).Flags, k.flags);
  }
}

TEST(SerialSettings, EveryRateAndItsConstantNameEachOther) {
  for (int b = br110; b <= br256000; ++b) {
    const auto constant = static_cast<TVaBaudrate>(b);
    EXPECT_EQ(BaudrateConstant(baudrateValue(constant)), constant) << baudrateValue(constant);
  }
  for (uint32_t rate : {0u, 28800u, 33600u, 230400u}) EXPECT_EQ(BaudrateConstant(rate), brUser) << rate;
}
