#pragma once
// The port's three settings objects, the line-setting enumerations, and the mapping of the
// line settings onto the device-control record.
#include <cstdint>

#include "serial/VaClasses.h"
#include "serial/platform/VaDevice.h"

namespace ostrel::serial {

enum TVaBaudrate : uint8_t {
  brUser,
  br110,
  br300,
  br600,
  br1200,
  br2400,
  br4800,
  br9600,
  br14400,
  br19200,
  br38400,
  br56000,
  br57600,
  br115200,
  br128000,
  br256000
};
enum TVaParity : uint8_t { paNone, paOdd, paEven, paMark, paSpace };
enum TVaDatabits : uint8_t { db4, db5, db6, db7, db8 };
enum TVaStopbits : uint8_t { sb1, sb15, sb2 };
enum TVaCommOption : uint8_t { coErrorChar, coNullStrip, coParityCheck };
enum TVaControlDtr : uint8_t { dtrDisabled, dtrEnabled, dtrHandshake };
enum TVaControlRts : uint8_t { rtsDisabled, rtsEnabled, rtsHandshake, rtsToggle };

// Set of TVaCommOption: bit n for the member with ordinal n.
using TVaCommOptions = uint8_t;
constexpr TVaCommOptions optionBit(TVaCommOption o) { return static_cast<TVaCommOptions>(1u << o); }

// The line rate a TVaBaudrate names (0 for brUser).
uint32_t baudrateValue(TVaBaudrate b);
// The constant that names a line rate; brUser for a rate that has none (set as a user rate).
TVaBaudrate BaudrateConstant(uint32_t rate);

// The parities by their names, in the order a person picks them from a list.
struct TVaParityName {
  const char* name;
  TVaParity parity;
};
inline constexpr TVaParityName kParityNames[] = {
    {"None", paNone}, {"Even", paEven}, {"Odd", paOdd}, {"Mark", paMark}, {"Space", paSpace}};

class TVaFlowControl : public TVaPersistent {
 public:
  const char* ClassName() const override { return "TVaFlowControl"; }
  void Assign(const TVaPersistent& source) override;

  bool OutCtsFlow() const { return outCtsFlow_; }
  bool OutDsrFlow() const { return outDsrFlow_; }
  TVaControlDtr ControlDtr() const { return controlDtr_; }
  TVaControlRts ControlRts() const { return controlRts_; }
  bool XonXoffOut() const { return xonXoffOut_; }
  bool XonXoffIn() const { return xonXoffIn_; }
  bool DsrSensitivity() const { return dsrSensitivity_; }
  bool TxContinueOnXoff() const { return txContinueOnXoff_; }
  void SetOutCtsFlow(bool v) { set(outCtsFlow_, v); }
  void SetOutDsrFlow(bool v) { set(outDsrFlow_, v); }
  void SetControlDtr(TVaControlDtr v) { set(controlDtr_, v); }
  void SetControlRts(TVaControlRts v) { set(controlRts_, v); }
  void SetXonXoffOut(bool v) { set(xonXoffOut_, v); }
  void SetXonXoffIn(bool v) { set(xonXoffIn_, v); }
  void SetDsrSensitivity(bool v) { set(dsrSensitivity_, v); }
  void SetTxContinueOnXoff(bool v) { set(txContinueOnXoff_, v); }

 private:
  template <class T>
  void set(T& field, T v) {
    if (field == v) return;
    field = v;
    Changed();
  }
  bool outCtsFlow_ = false, outDsrFlow_ = false;
  TVaControlDtr controlDtr_ = dtrDisabled;
  TVaControlRts controlRts_ = rtsDisabled;
  bool xonXoffOut_ = false, xonXoffIn_ = false, dsrSensitivity_ = false, txContinueOnXoff_ = false;
};

class TVaEventChars : public TVaPersistent {
 public:
  const char* ClassName() const override { return "TVaEventChars"; }
  void Assign(const TVaPersistent& source) override;

  // Index 1 XonChar, 2 XoffChar, 3 ErrorChar, 4 EventChar, 5 EofChar. Always notifies.
  uint8_t Char(int index) const;
  void SetChar(int index, uint8_t value);

  uint8_t XonChar() const { return chars_[0]; }
  uint8_t XoffChar() const { return chars_[1]; }
  uint8_t ErrorChar() const { return chars_[2]; }
  uint8_t EventChar() const { return chars_[3]; }
  uint8_t EofChar() const { return chars_[4]; }
  void SetXonChar(uint8_t v) { SetChar(1, v); }
  void SetXoffChar(uint8_t v) { SetChar(2, v); }
  void SetErrorChar(uint8_t v) { SetChar(3, v); }
  void SetEventChar(uint8_t v) { SetChar(4, v); }
  void SetEofChar(uint8_t v) { SetChar(5, v); }

 private:
  uint8_t chars_[5] = {17, 19, 0, 0, 0};
};

// 32-bit value limited to 0..2147483647.
using TVaIntW = int32_t;

class TVaBuffers : public TVaPersistent {
 public:
  const char* ClassName() const override { return "TVaBuffers"; }
  void Assign(const TVaPersistent& source) override;

  TVaIntW ReadSize() const { return readSize_; }
  TVaIntW WriteSize() const { return writeSize_; }
  TVaIntW ReadTimeout() const { return readTimeout_; }
  TVaIntW WriteTimeout() const { return writeTimeout_; }
  TVaIntW XonLimit() const { return xonLimit_; }
  TVaIntW XoffLimit() const { return xoffLimit_; }
  void SetReadSize(TVaIntW v) { set(readSize_, v); }
  void SetWriteSize(TVaIntW v) { set(writeSize_, v); }
  void SetXonLimit(TVaIntW v) { set(xonLimit_, v); }
  void SetXoffLimit(TVaIntW v) { set(xoffLimit_, v); }
  // Time-outs carry no notification: they may change at any time.
  void SetReadTimeout(TVaIntW v) { readTimeout_ = clamp(v); }
  void SetWriteTimeout(TVaIntW v) { writeTimeout_ = clamp(v); }

 private:
  static TVaIntW clamp(TVaIntW v) { return v < 0 ? 0 : v; }
  void set(TVaIntW& field, TVaIntW v) {
    v = clamp(v);
    if (field == v) return;
    field = v;
    Changed();
  }
  TVaIntW readSize_ = 4096, writeSize_ = 2048, readTimeout_ = 1000, writeTimeout_ = 1000, xonLimit_ = 1024,
          xoffLimit_ = 1024;
};

// Builds the device-control record from the line settings; changes nothing.
TVaDcb BuildLineConfiguration(TVaBaudrate baudrate, int32_t userBaudrate, TVaParity parity, TVaDatabits databits,
                              TVaStopbits stopbits, TVaCommOptions options, const TVaFlowControl& flowControl,
                              const TVaEventChars& eventChars, const TVaBuffers& buffers);

}  // namespace ostrel::serial
