#include "serial/VaPrst.h"

#include <stdexcept>

namespace ostrel::serial {

namespace {
// Copies between BeginUpdate and EndUpdate; EndUpdate runs even when a setter throws, so
// exactly one notification follows the whole copy.
template <class F>
void batch(TVaPersistent& target, F&& copy) {
  target.BeginUpdate();
  try {
    copy();
  } catch (...) {
    target.EndUpdate();
    throw;
  }
  target.EndUpdate();
}
}  // namespace

namespace {
// The rate of each TVaBaudrate, indexed by it.
constexpr uint32_t kRates[] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                               14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
}  // namespace

uint32_t baudrateValue(TVaBaudrate b) { return b < std::size(kRates) ? kRates[b] : 0; }

TVaBaudrate BaudrateConstant(uint32_t rate) {
  for (size_t b = 1; b < std::size(kRates); ++b) {
    if (kRates[b] == rate) return static_cast<TVaBaudrate>(b);
  }
  return brUser;
}

void TVaFlowControl::Assign(const TVaPersistent& source) {
  auto* s = dynamic_cast<const TVaFlowControl*>(&source);
  if (!s) AssignError(source);
  batch(*this, [&] {
    SetOutCtsFlow(s->OutCtsFlow());
    SetOutDsrFlow(s->OutDsrFlow());
    SetControlDtr(s->ControlDtr());
    SetControlRts(s->ControlRts());
    SetXonXoffOut(s->XonXoffOut());
    SetXonXoffIn(s->XonXoffIn());
    SetDsrSensitivity(s->DsrSensitivity());
    SetTxContinueOnXoff(s->TxContinueOnXoff());
  });
}

uint8_t TVaEventChars::Char(int index) const {
  if (index < 1 || index > 5) throw std::out_of_range("event character index");
  return chars_[index - 1];
}

void TVaEventChars::SetChar(int index, uint8_t value) {
  if (index < 1 || index > 5) throw std::out_of_range("event character index");
  chars_[index - 1] = value;
  Changed();
}

void TVaEventChars::Assign(const TVaPersistent& source) {
  auto* s = dynamic_cast<const TVaEventChars*>(&source);
  if (!s) AssignError(source);
  batch(*this, [&] {
    for (int i = 1; i <= 5; ++i) SetChar(i, s->Char(i));
  });
}

void TVaBuffers::Assign(const TVaPersistent& source) {
  auto* s = dynamic_cast<const TVaBuffers*>(&source);
  if (!s) AssignError(source);
  BeginUpdate();
  SetReadSize(s->ReadSize());
  SetWriteSize(s->WriteSize());
  SetReadTimeout(s->ReadTimeout());
  SetWriteTimeout(s->WriteTimeout());
  SetXonLimit(s->XonLimit());
  SetXoffLimit(s->XoffLimit());
  EndUpdate();
}

TVaDcb BuildLineConfiguration(TVaBaudrate baudrate, int32_t userBaudrate, TVaParity parity, TVaDatabits databits,
                              TVaStopbits stopbits, TVaCommOptions options, const TVaFlowControl& fc,
                              const TVaEventChars& chars, const TVaBuffers& buffers) {
  TVaDcb d{};
  d.BaudRate = baudrate == brUser ? static_cast<uint32_t>(userBaudrate) : baudrateValue(baudrate);
  d.ByteSize = static_cast<uint8_t>(4 + databits);
  d.Parity = parity;
  d.StopBits = stopbits;
  d.XonChar = chars.XonChar();
  d.XoffChar = chars.XoffChar();
  d.ErrorChar = chars.ErrorChar();
  d.EofChar = chars.EofChar();
  d.EvtChar = chars.EventChar();
  d.XonLim = static_cast<uint16_t>(buffers.XonLimit() & 0xFFFF);
  d.XoffLim = static_cast<uint16_t>(buffers.XoffLimit() & 0xFFFF);
  uint32_t f = dcb::Binary;
  if (options & optionBit(coParityCheck)) f |= dcb::ParityCheck;
  if (fc.OutCtsFlow()) f |= dcb::OutxCtsFlow;
  if (fc.OutDsrFlow()) f |= dcb::OutxDsrFlow;
  if (fc.ControlDtr() == dtrEnabled) f |= dcb::DtrEnable;
  if (fc.ControlDtr() == dtrHandshake) f |= dcb::DtrHandshake;
  if (fc.DsrSensitivity()) f |= dcb::DsrSensitivity;
  if (fc.TxContinueOnXoff()) f |= dcb::TxContinueOnXoff;
  if (fc.XonXoffOut()) f |= dcb::OutX;
  if (fc.XonXoffIn()) f |= dcb::InX;
  if (options & optionBit(coErrorChar)) f |= dcb::ErrorChar;
  if (options & optionBit(coNullStrip)) f |= dcb::Null;
  if (fc.ControlRts() == rtsEnabled) f |= dcb::RtsEnable;
  if (fc.ControlRts() == rtsHandshake) f |= dcb::RtsHandshake;
  if (fc.ControlRts() == rtsToggle) f |= dcb::RtsToggle;
  d.Flags = f;
  return d;
}

}  // namespace ostrel::serial
