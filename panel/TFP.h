#pragma once
// Panel frame codec: builds, logs, hex-encodes and sends request frames,
// decodes and checks reply frames, and turns reply contents into label texts
// and table rows. All frames are byte strings (every value, 0 included).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "panel/PanelLinkView.h"

namespace ostrel::panel {

inline constexpr unsigned char kStartByte = 0x02;
inline constexpr unsigned char kEndByte = 0x04;
inline constexpr unsigned char kCmdByte = 0x03;
inline constexpr unsigned char kId1Byte = 0x12, kId2Byte = 0x34;
inline constexpr unsigned char kCodePanelInfo = 0x48;
inline constexpr unsigned char kCodeLoopInfo = 0x43;
inline constexpr unsigned char kCodeDeviceInfo = 0x41;

// Shortest decoded replies that hold every field a decoder reads, with the
// checksum and end byte after them.
inline constexpr size_t kPanelInfoMinLength = 19 + 3;
inline constexpr size_t kLoopInfoMinLength = 15 + 3;
inline constexpr size_t kDeviceInfoMinLength = 24 + 3;

class TFP {
 public:
  explicit TFP(PanelLinkView& view) : view_(view) {}

  const unsigned char Id1 = kId1Byte;
  const unsigned char Id2 = kId2Byte;

  // Builds the request frame, logs it as "SENT: ...", encodes and writes it.
  void SendRequest(uint8_t code, uint8_t length, const std::string& payload);
  // The request frame as built, without sending.
  std::string BuildRequest(uint8_t code, uint8_t length, const std::string& payload) const;

  // Frame check of a decoded reply; logs its own error line. Only the first
  // `length` bytes (and never more than the reply holds) are looked at.
  // Of the checksum only the high byte is compared: the window has always
  // accepted replies on that, and a real panel may rely on it.
  bool CheckReply(const std::string& reply, uint16_t length);
  // What CheckReply finds wrong with a whole decoded reply, without logging.
  enum class FrameFault { None, Bytes, Checksum };
  static FrameFault ReplyFrameFault(const std::string& reply);
  // True when the start, CMD, ID and end bytes are right and both checksum
  // bytes match the sum of the bytes between the start byte and the
  // checksum. Stricter than CheckReply, which the scan keeps using: this
  // one tells a reply with a flipped data bit from a good one.
  static bool FullChecksumOk(const std::string& reply);

  static std::string HexEncodeFrame(const std::string& frame);
  static std::string HexDecodeFrame(const std::string& text);
  // Sum of the bytes as 16-bit values with wrap-around, then modulo 65535.
  static uint16_t Checksum(const std::string& bytes, size_t from, size_t to_exclusive);

  // Panel information reply: sets the labels and returns the loop count, or
  // nothing when the panel refused the request or the reply is too short.
  std::optional<uint8_t> DecodePanelInfo(const std::string& reply);
  // Loop information reply: adds a loop row and returns its device count, or
  // nothing when no row was written. Sets loopsHaveDevices on a nonzero count.
  std::optional<uint8_t> DecodeLoopInfo(const std::string& reply, bool& loopsHaveDevices);
  // Device information reply: fills a device row; false when none was written.
  bool DecodeDevice(const std::string& reply, uint8_t loopIndex);

  static std::string DeviceTypeName(uint8_t code);
  // The raw values behind the cells of a loop or device row, for callers
  // that need numbers rather than the table's texts. The reply must hold
  // the decoder's minimum length.
  struct LoopValues {
    unsigned loopNo, devices, maxMilliamps, on, manualAddressing;
  };
  struct DeviceValues {
    unsigned address, idSum, type, oldNumber, next, previous, branches, zone, status, flags;
  };
  struct PanelValues {
    unsigned can, modules[3], loops, power, zones, language, mode;
  };
  static LoopValues LoopValuesOf(const std::string& reply);
  static DeviceValues DeviceValuesOf(const std::string& reply);
  static PanelValues PanelValuesOf(const std::string& reply);
  static std::vector<std::string> LoopCells(const std::string& reply);
  static std::vector<std::string> DeviceCells(const std::string& reply, uint8_t loopIndex);

 private:
  PanelLinkView& view_;
};

}  // namespace ostrel::panel
