// Reply decoders: panel information into the three labels, loop information
// into a loop row, device information into a device row.
#include <cstdio>
#include <string>

#include "panel/TFP.h"

namespace ostrel::panel {
namespace {

unsigned char at(const std::string& r, size_t i) { return static_cast<unsigned char>(r[i]); }
std::string num(unsigned v) { return std::to_string(v); }

std::string tooShortLine(const char* what, size_t size) {
  return std::string(what) + " reply too short (" + std::to_string(size) + " bytes), ignored";
}

}  // namespace

std::string TFP::DeviceTypeName(uint8_t code) {
  switch (code) {
    case 1: return "ZR 401";
    case 2: return "ZR 402";
    case 3: return "ZR 403";
    case 4: return "ZR 404";
    case 5: return "ZR 405";
    case 7: return "ZR 406";
    case 8: return "ZR 407";
    case 0xC1: return "ZR 408";
    case 0xC8: return "ZR 409";
    case 0x80: return "ZR 410";
    case 0x82: return "ZR 411";
    case 0x83: return "ZR 412";
    case 0x84: return "ZR 413";
    case 0x85: return "ZR 414";
    default: return "Unknown";
  }
}

TFP::PanelValues TFP::PanelValuesOf(const std::string& r) {
  return {at(r, 10), {at(r, 11), at(r, 12), at(r, 13)}, at(r, 14), at(r, 15), at(r, 16), at(r, 17), at(r, 18)};
}

// The result byte is looked at first, so a short refusal is reported as a
// refusal; a reply that carries data must hold every field that is read.
std::optional<uint8_t> TFP::DecodePanelInfo(const std::string& r) {
  if (r.size() > 8 + 3 && at(r, 8) != 0) {
    const std::string text = "Грешка при команда 0x48";
    view_.SetPanelLabel(PanelLabel::CanAndModules, text);
    view_.AddLogLine(text);
    return std::nullopt;
  }
  if (r.size() < kPanelInfoMinLength) {
    view_.AddLogLine(tooShortLine("Panel information", r.size()));
    return std::nullopt;
  }
  std::string l6 = at(r, 10) == 0 ? "CAN вкл.," : "CAN изкл.,";
  for (unsigned m = 1; m <= 3; ++m)
    if (at(r, 10 + m) != 0) l6 += " Модул " + num(m) + ",";
  const uint8_t loops = at(r, 14);
  std::string l7 = "Контури " + num(loops);
  l7 += at(r, 15) != 0 ? ", Силов вкл." : ", Силов изкл.";
  l7 += ", Зони " + num(at(r, 16));
  std::string l10 = at(r, 17) == 0 ? "Руски език" : "Английски език";
  l10 += at(r, 18) == 0 ? ", Дневен режим" : ", Нощен режим";
  view_.SetPanelLabel(PanelLabel::CanAndModules, l6);
  view_.SetPanelLabel(PanelLabel::LoopsPowerZones, l7);
  view_.SetPanelLabel(PanelLabel::LanguageAndMode, l10);
  return loops;
}

TFP::LoopValues TFP::LoopValuesOf(const std::string& r) {
  return {at(r, 9), at(r, 10), at(r, 11) * 256u + at(r, 12), at(r, 13), at(r, 14)};
}

std::vector<std::string> TFP::LoopCells(const std::string& r) {
  const LoopValues v = LoopValuesOf(r);
  return {
      v.loopNo <= 1 ? "Loop " + num(v.loopNo + 1) : "Силов ",
      num(v.devices),
      num(v.maxMilliamps),
      v.on != 0 ? "Вкл." : "Изкл.",
      v.manualAddressing != 0 ? "Ръчна" : "Авт.",
      "",
  };
}

std::optional<uint8_t> TFP::DecodeLoopInfo(const std::string& r, bool& loopsHaveDevices) {
  if (r.size() > 8 + 3 && at(r, 8) != 0) {
    view_.AddLogLine("Error reading info for this loop...");
    return std::nullopt;
  }
  if (r.size() < kLoopInfoMinLength) {
    view_.AddLogLine(tooShortLine("Loop information", r.size()));
    return std::nullopt;
  }
  view_.AddLoopRow(LoopCells(r));
  const uint8_t count = at(r, 10);
  if (count != 0) loopsHaveDevices = true;
  return count;
}

TFP::DeviceValues TFP::DeviceValuesOf(const std::string& r) {
  return {at(r, 9),  0u + at(r, 14) + at(r, 15) + at(r, 16) + at(r, 17),
          at(r, 18), at(r, 10),
          at(r, 11), at(r, 13),
          at(r, 12), at(r, 21),
          at(r, 22), at(r, 23)};
}

std::vector<std::string> TFP::DeviceCells(const std::string& r, uint8_t loopIndex) {
  const DeviceValues v = DeviceValuesOf(r);
  const std::string address = num(v.address);
  char flags[3];
  std::snprintf(flags, sizeof flags, "%02X", v.flags);
  return {
      "Loop " + num(loopIndex + 1u) + ", " + address,
      num(v.idSum),
      num(v.type) + "=" + DeviceTypeName(static_cast<uint8_t>(v.type)),
      num(v.oldNumber),
      num(v.next),
      num(v.previous),
      v.branches != 0 ? "Есть ветви" : "Нет ветви",
      num(v.zone),
      v.status == 1 ? "Вкл." : "Изкл.",
      flags,
      "Input reg " + address,
  };
}

bool TFP::DecodeDevice(const std::string& r, uint8_t loopIndex) {
  if (r.size() > 8 + 3 && at(r, 8) != 0) {
    view_.AddLogLine("Error reading info for this loop...");
    return false;
  }
  if (r.size() < kDeviceInfoMinLength) {
    view_.AddLogLine(tooShortLine("Device information", r.size()));
    return false;
  }
  view_.AddDeviceRow(DeviceCells(r, loopIndex));
  return true;
}

}  // namespace ostrel::panel
