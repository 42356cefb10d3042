// Arbitrary bytes through the panel link's receive side: the line decoding,
// the frame check, every decoder, and the scan's receive path and ticks.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "panel/PanelScan.h"
#include "panel/TFP.h"

namespace {

using namespace ostrel::panel;

struct NullView : PanelLinkView {
  size_t lines = 0;
  void AddLogLine(const std::string& s) override { lines += s.size() > 0; }
  bool PortOpen() override { return true; }
  void WritePort(const std::string&) override {}
  void PurgePort() override {}
  void SetPanelLabel(PanelLabel, const std::string&) override {}
  void AddLoopRow(const std::vector<std::string>& c) override {
    if (c.size() != 6) __builtin_trap();
  }
  void AddDeviceRow(const std::vector<std::string>& c) override {
    if (c.size() != 11) __builtin_trap();
  }
  void StartTimer() override {}
  void StopTimer() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  NullView view;
  TFP fp(view);

  // As received text, and as an already decoded reply.
  const std::string decoded = TFP::HexDecodeFrame(input);
  for (const std::string* reply : {&decoded, &input}) {
    fp.CheckReply(*reply, static_cast<uint16_t>(reply->size()));
    fp.CheckReply(*reply, 0xFFFF);
    fp.DecodePanelInfo(*reply);
    bool have = false;
    fp.DecodeLoopInfo(*reply, have);
    fp.DecodeDevice(*reply, 0);
    fp.DecodeDevice(*reply, 1);
  }
  if (TFP::HexDecodeFrame(TFP::HexEncodeFrame(input)) != input) __builtin_trap();

  // The scan: the input, cut at every 0x04 into receive events, answers one
  // request after another.
  PanelScan scan(view);
  scan.StartScan();
  size_t from = 0;
  for (int guard = 0; guard < 4096 && scan.timerEnabled() && from < input.size(); ++guard) {
    size_t to = input.find('\x04', from);
    to = to == std::string::npos ? input.size() : to + 1;
    // Odd events through the counted read, short reads included.
    if (guard % 2) {
      std::string event = input.substr(from, to - from);
      scan.CollectReply(event.size(), [&](size_t max) {
        if (max > 1024) __builtin_trap();
        const std::string piece = event.substr(0, std::min<size_t>(max, 1 + event.size() / 2));
        event.erase(0, piece.size());
        return piece;
      });
    } else {
      scan.CollectReply(input.substr(from, to - from));
    }
    from = to;
    scan.Tick();
  }
  for (int i = 0; i < 600 && scan.timerEnabled(); ++i) scan.Tick();
  return 0;
}
