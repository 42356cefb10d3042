#include "monitor/PanelScanner.h"

#include "cli/Exit.h"
#include "cli/Interrupt.h"
#include "cli/PortReopen.h"
#include "cli/ScanReplies.h"
#include "monitor/Log.h"
#include "panel/PanelScan.h"
#include "panel/TFP.h"

namespace ostrel::monitor {

using cli::Clock;

namespace {

// The scan's own reply wait: 500 ticks of 5 ms.
constexpr std::chrono::milliseconds kReplyWait{panel::kReplyTimeoutTicks * 5};
// A lost or garbled reply is asked for once more before the scan gives up.
constexpr int kRetries = 1;

// The scan's side of the window: the port, the timer, and the devices it decodes.
class ScanSink : public panel::PanelLinkView {
 public:
  explicit ScanSink(cli::CliPort& port) : port_(port) {}
  void AddLogLine(const std::string&) override {}
  bool PortOpen() override { return true; }
  void WritePort(const std::string& bytes) override {
    request = cli::PanelRequest::FromFrame(panel::TFP::HexDecodeFrame(bytes));
    port_.write(bytes);
  }
  void PurgePort() override { port_.purge(); }
  void SetPanelLabel(panel::PanelLabel, const std::string&) override {}
  void AddLoopRow(const std::vector<std::string>&) override {}
  void AddDeviceRow(const std::vector<std::string>&) override {
    const auto v = panel::TFP::DeviceValuesOf(reply);
    found[{request.a + 1, static_cast<int>(v.address)}] =
        ScanInfo{static_cast<int>(v.type), panel::TFP::DeviceTypeName(static_cast<uint8_t>(v.type)),
                 static_cast<int>(v.zone), v.status == 1};
  }
  void StartTimer() override {
    timer = true;
    armedAt = Clock::now();
  }
  void StopTimer() override { timer = false; }

  bool timer = false;
  Clock::time_point armedAt;
  cli::PanelRequest request;
  std::string reply;  // the decoded reply being handled
  std::map<DeviceKey, ScanInfo> found;

 private:
  cli::CliPort& port_;
};

}  // namespace

PanelScanner::PanelScanner(PanelFeed& panel)
    : panel_(panel), keeper_(panel.config().panelPort, panel.config().panelLine) {}

PanelScanner::~PanelScanner() { join(); }

void PanelScanner::start() {
  thread_ = std::thread([this] { run(); });
}

void PanelScanner::join() {
  if (thread_.joinable()) thread_.join();
}

void PanelScanner::run() {
  auto due = Clock::now();
  while (!cli::Interrupted()) {
    std::string why;
    cli::CliPort* port = keeper_.get(why);
    if (!port) {
      if (!cli::SleepUntil(keeper_.nextTry())) return;
      continue;
    }
    if (!cli::SleepUntil(due)) return;
    try {
      const auto found = scan(*port, why);
      if (found)
        panel_.scanned(*found);
      else if (!cli::Interrupted())
        LogLine("panel " + panel_.config().name + ": scan broke off: " + why);
    } catch (const cli::CliError& e) {
      keeper_.lost(e.what());
      continue;
    }
    due = std::max(due + panel_.config().scanPeriod, Clock::now());
  }
}

std::optional<std::map<DeviceKey, ScanInfo>> PanelScanner::scan(cli::CliPort& port, std::string& why) {
  ScanSink sink(port);
  panel::PanelScan scan(sink);
  port.onBytes([&](const std::string& bytes) { scan.CollectReply(bytes); });
  // The handler holds this scan: the port must not call it after the scan has ended, however.
  struct Unhook {
    cli::CliPort& port;
    ~Unhook() { port.onBytes(nullptr); }
  } unhook{port};
  int attempts = 0;
  scan.StartScan();
  while (sink.timer) {
    const auto waited = port.waitUntil([&] { return scan.replyDone(); }, sink.armedAt + kReplyWait);
    if (waited == cli::CliPort::Wait::Interrupted) {
      scan.StopScan();
      return std::nullopt;
    }
    const cli::PanelRequest request = sink.request;
    const std::string reply =
        waited == cli::CliPort::Wait::TimedOut ? std::string() : panel::TFP::HexDecodeFrame(scan.rxBuffer());
    const cli::ReplyVerdict verdict = waited == cli::CliPort::Wait::TimedOut
                                          ? cli::ReplyVerdict{cli::ReplyKind::Lost, false}
                                          : cli::JudgeReply(reply, request, false);
    if (verdict.garbled() && attempts < kRetries) {
      ++attempts;
      scan.RetryRequest();
      continue;
    }
    if (waited == cli::CliPort::Wait::TimedOut) {
      scan.ExpireReplyWait();
      why = "the panel did not answer (" + request.label() + ")";
      return std::nullopt;
    }
    attempts = 0;
    sink.reply = reply;
    if (verdict.kind == cli::ReplyKind::LowByte)
      scan.RejectReply();
    else
      scan.Tick();
  }
  return sink.found;
}

}  // namespace ostrel::monitor
