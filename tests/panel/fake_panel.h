#pragma once
// A recording stand-in for the window and a scripted panel that answers the
// requests written to it, for driving the panel link without a window.
#include <deque>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "panel/PanelLinkView.h"
#include "panel/PanelScan.h"

namespace ostrel::panel::testing {

inline std::string bytes(std::initializer_list<int> v) {
  std::string s;
  for (int b : v) s += static_cast<char>(b);
  return s;
}

// A decoded reply frame around `data` (result byte first), checksum computed
// here independently of the codec under test; `code` goes into the header.
inline std::string replyFrame(const std::string& data, int code = 0) {
  std::string f = bytes({0x02, 0x03, 0x12, 0x34, 0x5D, code, 0x00, static_cast<int>(data.size())});
  f += data;
  unsigned sum = 0;
  for (size_t i = 1; i < f.size(); ++i) sum = (sum + static_cast<unsigned char>(f[i])) & 0xFFFF;
  sum %= 65535;
  f += static_cast<char>(sum >> 8);
  f += static_cast<char>(sum & 0xFF);
  f += '\x04';
  return f;
}

inline std::string lineEncode(const std::string& frame) {
  static const char* d = "0123456789ABCDEF";
  std::string out(1, frame.front());
  for (size_t i = 1; i + 1 < frame.size(); ++i) {
    out += d[static_cast<unsigned char>(frame[i]) >> 4];
    out += d[static_cast<unsigned char>(frame[i]) & 15];
  }
  out += frame.back();
  return out;
}

inline std::string lineDecode(const std::string& text) {
  std::string out(1, text.front());
  for (size_t i = 1; i + 2 < text.size(); i += 2) out += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
  out += text.back();
  return out;
}

// Data bytes (from the result byte on) of the three reply kinds.
inline std::string panelData(int loops) { return bytes({0, 0, 0, 1, 0, 1, loops, 1, 8, 1, 0}); }
inline std::string loopData(int loopNo, int devices) { return bytes({0, loopNo, devices, 0x01, 0xF4, 1, 0}); }
inline std::string deviceData(int address) {
  return bytes({0, address, address - 1, address + 1, 0, address - 1, 0, 1, 2, 3, 2, 0, 0, 3, 1, 0x0A});
}

struct FakeView : PanelLinkView {
  bool portOpen = true;
  bool throwOnWrite = false;
  bool timer = false;
  int purges = 0;
  std::vector<std::string> log;
  std::vector<std::string> writes;  // as written on the line
  std::map<PanelLabel, std::string> labels;
  std::vector<std::vector<std::string>> loopRows;
  std::vector<std::vector<std::string>> deviceRows;
  std::function<void(const std::string&)> onWrite;

  void AddLogLine(const std::string& s) override { log.push_back(s); }
  bool PortOpen() override { return portOpen; }
  void WritePort(const std::string& b) override {
    if (throwOnWrite) throw std::runtime_error("write failed");
    writes.push_back(b);
    if (onWrite) onWrite(b);
  }
  void PurgePort() override { ++purges; }
  void SetPanelLabel(PanelLabel w, const std::string& s) override { labels[w] = s; }
  void AddLoopRow(const std::vector<std::string>& c) override { loopRows.push_back(c); }
  void AddDeviceRow(const std::vector<std::string>& c) override { deviceRows.push_back(c); }
  void StartTimer() override { timer = true; }
  void StopTimer() override { timer = false; }

  // Requests written so far as (code, payload byte 0, payload byte 1).
  std::vector<std::vector<int>> requests() const {
    std::vector<std::vector<int>> r;
    for (const auto& w : writes) {
      const std::string f = lineDecode(w);
      r.push_back(
          {static_cast<unsigned char>(f[5]), static_cast<unsigned char>(f[8]), static_cast<unsigned char>(f[9])});
    }
    return r;
  }
};

// Answers each request with line bytes chosen by `answer` (empty: silence);
// the bytes are handed to the scan in `chunks` receive events before the
// next tick.
struct ScriptedPanel {
  std::function<std::string(const std::string& frame)> answer;
  size_t chunks = 1;
  std::deque<std::string> pending = {};

  void attach(FakeView& v) {
    v.onWrite = [this](const std::string& line) {
      std::string reply = answer(lineDecode(line));
      if (!reply.empty()) pending.push_back(std::move(reply));
    };
  }
  // Ticks until the scan's timer stops, at most `maxTicks`.
  int run(PanelScan& scan, int maxTicks = 100000) {
    int ticks = 0;
    while (scan.timerEnabled() && ticks < maxTicks) {
      while (!pending.empty()) {
        const std::string r = pending.front();
        pending.pop_front();
        const size_t n = std::max<size_t>(1, std::min(chunks, r.size()));
        for (size_t i = 0; i < n; ++i) {
          const size_t from = r.size() * i / n, to = r.size() * (i + 1) / n;
          scan.CollectReply(r.substr(from, to - from));
        }
      }
      scan.Tick();
      ++ticks;
    }
    return ticks;
  }
};

// A panel with two loops holding the given device counts; with `echo` its
// replies carry the request code in their header.
inline std::function<std::string(const std::string&)> panelWith(int loops, int count0, int count1, bool echo = false) {
  return [=](const std::string& f) -> std::string {
    const int code = static_cast<unsigned char>(f[5]);
    const int a = static_cast<unsigned char>(f[8]), b = static_cast<unsigned char>(f[9]);
    const int header = echo ? code : 0;
    if (code == 0x48) return lineEncode(replyFrame(panelData(loops), header));
    if (code == 0x43) return lineEncode(replyFrame(loopData(a, a == 0 ? count0 : count1), header));
    if (code == 0x41) return lineEncode(replyFrame(deviceData(b), header));
    return {};
  };
}

}  // namespace ostrel::panel::testing
