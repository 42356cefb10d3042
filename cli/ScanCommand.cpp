// ostrel-cli scan: the panel information, both loops and every device, with
// the window's request order and reply rules, each reply handled as soon as
// its end byte arrived.
#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <optional>

#include "cli/CliPort.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/Exit.h"
#include "cli/Records.h"
#include "cli/ScanJson.h"
#include "cli/ScanReplies.h"
#include "cli/System.h"
#include "common/cp1251.h"
#include "common/hexdump.h"
#include "core/Csv.h"
#include "panel/PanelScan.h"
#include "panel/TFP.h"

namespace ostrel::cli {
namespace {

const char* kHelp =
    "Usage: ostrel-cli scan --port PORT [--speed 2400] [--parity even] [--stop 2]\n"
    "                       [-o FILE [--append]] [--json] [--timeout MS] [--retries N]\n"
    "                       [--strict-checksum] [--quiet] [--verbose]\n"
    "\n"
    "Reads the panel over its own protocol: the panel information, the two loops\n"
    "and every device. The device rows are written as they come, in the CSV format\n"
    "of the window's Save (Windows-1251, ';' after every field, CR LF), which the\n"
    "window's Load reads back; the panel information and the loops go to standard\n"
    "error. With --json one JSON document (UTF-8) holds all of it. Rows shown on a\n"
    "terminal, or written with --utf8, are UTF-8 instead of Windows-1251.\n"
    "\n"
    "Each reply the panel refused or that came garbled is named on its own line\n"
    "(\"device 1 of loop 2: the panel refused the request\") and counted once in the\n"
    "closing error line. A reply whose checksum's low byte is wrong is kept, as the\n"
    "window keeps it (it only compares the high byte), and reported in a warning;\n"
    "--strict-checksum treats it as garbled instead.\n"
    "\n"
    "  -p, --port PORT   COM1 .. COM256 (on Linux through the device map) or a device path\n"
    "                    or a network port: rfc2217://HOST:PORT or tcp://HOST:PORT\n"
    "  --speed, --parity, --stop   line settings (default 2400, even, 2)\n"
    "  -o, --output FILE write to FILE instead of standard output; the file is replaced\n"
    "                    when the scan ends, or not at all if writing it fails\n"
    "  --append          add the CSV rows to the end of FILE instead (not with --json)\n"
    "  --json            one JSON document with panel, loops, devices and errors\n"
    "                    (\"format\": 2: the cells as strings and a \"typed\" object each)\n"
    "  --utf8            CSV rows in UTF-8 instead of Windows-1251\n"
    "  --timeout MS      wait for each reply (default 2500)\n"
    "  --retries N       ask again up to N times (default 0) for a reply that did not\n"
    "                    come within the wait or came garbled, before it counts\n"
    "  --strict-checksum a reply whose checksum is wrong in either byte is garbled: no\n"
    "                    row, reported, exit 1\n"
    "  -q, --quiet       no notes and no progress bar\n"
    "  -v, --verbose     echo the traffic as SENT:/QVFP: lines on standard error\n"
    "\n"
    "Exit: 0 read whole (also with replies kept despite a wrong checksum low byte),\n"
    "1 the panel refused a request, garbled a reply or stopped answering (rows read\n"
    "until then are written), 2 bad usage (also an output that cannot be written),\n"
    "3 the port could not be opened, 130 interrupted (rows read until then are written),\n"
    "141 the reader of standard output went away.\n";

// The window's side of the scan, for a command line: traffic and messages
// to the console, rows to the output and to the result, the reply wait's
// arming time. The reply being handled is announced by the run first, so
// rows carry its bytes and the panel's own lines on a failed reply (which
// the run reports in one line of its own) stay traffic.
class ScanView : public panel::PanelLinkView {
 public:
  ScanView(CliPort& port, Console& console, RecordOutput& out, bool json, bool utf8)
      : port_(port), console_(console), out_(out), json_(json), utf8_(utf8) {}

  void AddLogLine(const std::string& line) override {
    console_.traffic(line);
    if (line.rfind("SENT: ", 0) == 0 || line.rfind("QVFP: ", 0) == 0 || line == "no response") return;
    if (reply_ && reply_->kind != ReplyKind::Good) return;
    console_.note(line);
  }
  bool PortOpen() override { return true; }
  void WritePort(const std::string& bytes) override {
    // A new request: the lines of the reply before it have all been logged.
    reply_.reset();
    request = PanelRequest::FromFrame(panel::TFP::HexDecodeFrame(bytes));
    if (beforeWrite) beforeWrite(request);
    port_.write(bytes);
  }
  void PurgePort() override { port_.purge(); }
  void SetPanelLabel(panel::PanelLabel which, const std::string& text) override {
    result.labels[static_cast<size_t>(which)] = text;
    // The second label is written only from a reply that was decoded whole.
    if (which == panel::PanelLabel::LoopsPowerZones && reply_) {
      result.panelReply = replyBytes_;
      result.panelChecksumOk = reply_->checksumOk;
    }
  }
  void AddLoopRow(const std::vector<std::string>& cells) override {
    result.loops.push_back({cells, replyBytes_, !reply_ || reply_->checksumOk, 0});
  }
  void AddDeviceRow(const std::vector<std::string>& cells) override {
    result.devices.push_back({cells, replyBytes_, !reply_ || reply_->checksumOk, request.a + 1});
    if (json_) return;
    const std::string line = SaveGridRows({cells});
    out_.write(utf8_ ? cp1251ToUtf8(line) : line);
  }
  void StartTimer() override {
    timer = true;
    armedAt = Clock::now();
  }
  void StopTimer() override { timer = false; }

  // The reply the scan handles next, and its verdict; endReply after it.
  void beginReply(const std::string& bytes, const ReplyVerdict& verdict) {
    replyBytes_ = bytes;
    reply_ = verdict;
  }
  void endReply() { reply_.reset(); }

  bool timer = false;
  Clock::time_point armedAt;
  PanelRequest request;  // the request written last
  ScanResult result;
  // Called with each request just before it is written.
  std::function<void(const PanelRequest&)> beforeWrite;

 private:
  CliPort& port_;
  Console& console_;
  RecordOutput& out_;
  bool json_, utf8_;
  std::string replyBytes_;
  std::optional<ReplyVerdict> reply_;
};

// Devices the scan asks for: 1 .. N-1 of a loop with N devices, device 1
// alone when N is 0 or 1.
int plannedDevices(const std::vector<ScannedRow>& loops) {
  int total = 0;
  for (const auto& row : loops) {
    long n = 0;
    ParseWhole(row.cells.size() > 1 ? row.cells[1] : "", 0, 255, n);
    total += n >= 2 ? static_cast<int>(n - 1) : 1;
  }
  return total;
}

std::string elapsedText(Clock::time_point start) {
  const long s = static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start).count());
  char buf[32];
  std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
  return buf;
}

std::string bar(int done, int total) {
  constexpr int kWidth = 20;
  const int filled = total > 0 ? std::clamp(done * kWidth / total, 0, kWidth) : 0;
  std::string out(kWidth + 2, '.');
  out.front() = '[';
  out.back() = ']';
  out.replace(1, static_cast<size_t>(filled), static_cast<size_t>(filled), '#');
  return out;
}

// The scan driven by the arrival of each reply instead of a 5 ms tick: a
// reply is handled as soon as its end byte is in, the wait ends at the
// time-out, at Ctrl+C, or when the port fails.
class ScanRun {
 public:
  ScanRun(CliPort& link, Console& console, ScanView& view, std::chrono::milliseconds timeout, int retries, bool strict)
      : link_(link),
        console_(console),
        view_(view),
        scan_(view),
        timeout_(timeout),
        retries_(retries),
        strict_(strict) {
    link_.onBytes([this](const std::string& bytes) {
      endBytes_ += static_cast<int>(std::count(bytes.begin(), bytes.end(), static_cast<char>(panel::kEndByte)));
      scan_.CollectReply(bytes);
    });
    view_.beforeWrite = [this](const PanelRequest& next) { awaitSecondAnswer(next); };
  }

  // Fills the view; the text of what ended the scan early, or empty.
  std::string run() {
    scan_.StartScan();
    while (view_.timer) {
      const uint8_t step = scan_.scanStep();
      showProgress(step);
      const auto waited = link_.waitUntil([&] { return scan_.replyDone(); }, view_.armedAt + timeout_);
      if (waited == CliPort::Wait::Interrupted) {
        scan_.StopScan();
        interrupted = true;
        return "interrupted";
      }
      const PanelRequest request = view_.request;
      // A late or doubled answer to an earlier request is dropped (and
      // noted) by the scan; the wait for the awaited one goes on.
      if (waited == CliPort::Wait::Done && scan_.DropEarlierReplies()) continue;
      if (waited == CliPort::Wait::Done) dropBytesAfterReply(request);
      if (waited == CliPort::Wait::TimedOut) {
        if (askAgain(request, "no reply within " + std::to_string(timeout_.count()) + " ms")) continue;
        replies.add(request, {ReplyKind::Lost, false});
        scan_.ExpireReplyWait();
        return "the panel did not answer within " + std::to_string(timeout_.count()) + " ms (" + request.label() + ")";
      }
      const std::string reply = panel::TFP::HexDecodeFrame(scan_.rxBuffer());
      const ReplyVerdict verdict = JudgeReply(reply, request, strict_);
      if (verdict.garbled()) {
        console_.traffic(hexLine("QVFP: ", reply));
        if (askAgain(request, KindName(verdict.kind))) continue;
      }
      handle(request, reply, verdict);
    }
    return {};
  }

  bool interrupted = false;
  ReplyLog replies;

 private:
  std::string awaited(uint8_t step) const {
    if (step == 3)
      return "device " + std::to_string(scan_.deviceIndex()) + " of loop " + std::to_string(scan_.loopIndex() + 1);
    return step == 2 ? "loop information" : "panel information";
  }

  void showProgress(uint8_t step) {
    if (step != 3) {
      console_.progress("scan: " + awaited(step) + ", " + elapsedText(start_));
      return;
    }
    const int total = plannedDevices(view_.result.loops);
    console_.progress("scan " + bar(deviceRequests_, total) + " device " + std::to_string(deviceRequests_) + " of " +
                      std::to_string(total) + ", loop " + std::to_string(scan_.loopIndex() + 1) + ", " +
                      elapsedText(start_));
  }

  // The reply goes to the scan (a garbled one as a bad frame) and is counted.
  void handle(const PanelRequest& request, const std::string& reply, const ReplyVerdict& verdict) {
    replies.add(request, verdict);
    if (verdict.kind != ReplyKind::Good) console_.note(ReplyLog::Line(replies.entries().back()));
    if (verdict.kind == ReplyKind::Good && !verdict.checksumOk)
      console_.note(request.label() + ": wrong checksum low byte in the reply, kept");
    view_.beginReply(reply, verdict);
    retried_ = attempts_ > 0 ? std::optional<PanelRequest>(request) : std::nullopt;
    const uint64_t before = scan_.requestsSent();
    if (verdict.kind == ReplyKind::LowByte)
      scan_.RejectReply();
    else
      scan_.Tick();
    view_.endReply();
    if (scan_.requestsSent() > before) {
      attempts_ = 0;
      if (scan_.scanStep() == 3) ++deviceRequests_;
    }
  }

  // A reply is judged alone: what came after its end byte (a second answer to
  // a request asked again, arriving in the same read, or noise) is dropped
  // and noted, not decoded with it into one broken frame.
  void dropBytesAfterReply(const PanelRequest& request) {
    const std::string after = scan_.TakeBytesAfterReply();
    if (after.empty()) return;
    const std::string& reply = scan_.rxBuffer();
    const bool copy = after == reply;
    // The start of the same answer again: its rest is still coming.
    copyUnderWay_ = !copy && after.size() < reply.size() && reply.compare(0, after.size(), after) == 0;
    console_.note(request.label() + ": " + std::to_string(after.size()) + " bytes after the reply dropped" +
                  (copy || copyUnderWay_ ? " (the same answer again)" : ""));
  }

  // A request asked again may be answered twice, the second answer arriving
  // after the next request went out. The scan drops such an answer when it
  // names its request, but a device reply names only the address: device 1
  // of the second loop cannot be told from device 1 of the first. Before such
  // a request, the second answer is waited for (at most one reply wait) and
  // the line emptied; so is the rest of a second answer whose start came
  // right after the first.
  void awaitSecondAnswer(const PanelRequest& next) {
    const std::optional<PanelRequest> retried = retried_;
    const bool copyUnderWay = copyUnderWay_;
    retried_.reset();
    copyUnderWay_ = false;
    const bool indistinct = retried && retried->code == panel::kCodeDeviceInfo && next.code == panel::kCodeDeviceInfo &&
                            retried->b == next.b && retried->a != next.a;
    if (!indistinct && !copyUnderWay) return;
    const int before = endBytes_;
    const auto waited = link_.waitUntil([&] { return endBytes_ > before; }, Clock::now() + timeout_);
    if (waited == CliPort::Wait::Done) console_.note("a second answer came, dropped before asking for " + next.label());
    link_.purge();
  }

  // Sends the awaited request again while it has tries left.
  bool askAgain(const PanelRequest& request, const std::string& what) {
    if (attempts_ >= retries_) return false;
    ++attempts_;
    replies.retried();
    console_.note(request.label() + ": " + what + ", asking again (" + std::to_string(attempts_) + " of " +
                  std::to_string(retries_) + ")");
    scan_.RetryRequest();
    return true;
  }

  CliPort& link_;
  Console& console_;
  ScanView& view_;
  panel::PanelScan scan_;
  std::chrono::milliseconds timeout_;
  int retries_;
  bool strict_;
  Clock::time_point start_ = Clock::now();
  int deviceRequests_ = 0;
  int attempts_ = 0;  // tries of the awaited request beyond the first
  int endBytes_ = 0;  // end bytes received so far
  // The request whose reply is being handled, when it was asked more than once.
  std::optional<PanelRequest> retried_;
  bool copyUnderWay_ = false;  // the start of a second answer came after the reply
};

// The panel information and the loops, as notes beside the CSV rows.
void notePanel(Console& console, const ScanResult& scan) {
  for (const auto& label : scan.labels) {
    if (!label.empty()) console.note("panel: " + label);
  }
  for (const auto& row : scan.loops) {
    std::string text = "loop:";
    for (const auto& cell : row.cells) {
      if (!cell.empty()) text += " " + cell + ";";
    }
    console.note(text);
  }
}

}  // namespace

int ScanCommand(const Words& words) {
  auto specs = PortOptions();
  for (const auto& o : OutputOptions()) {
    if (o.name != "--no-header") specs.push_back(o);  // the rows have no header line
  }
  specs.push_back({"--json", false, ""});
  specs.push_back({"--utf8", false, ""});
  specs.push_back({"--timeout", true, ""});
  specs.push_back({"--retries", true, ""});
  specs.push_back({"--strict-checksum", false, ""});
  const Args args("scan", specs, words);
  if (args.has("--help")) return PrintHelp(kHelp);
  const LineSettings line = LineFromArgs(args, kPanelLineDefaults);
  const auto timeout = std::chrono::milliseconds(args.integer("--timeout", 10, 600000, 2500));
  const int retries = static_cast<int>(args.integer("--retries", 0, 100, 0));
  const bool json = args.has("--json");
  Console console(args.has("--quiet"), args.has("--verbose"));
  const std::string port = args.required("--port");
  const OutputChoice choice = OutputFrom(args);
  if (json && choice.append) throw UsageError("--append does not go with --json: the file would hold two documents");
  // The output first: a path that cannot be written is refused before the panel is asked.
  RecordOutput out(choice);
  out.open();

  CliPort link(port, line, args.has("--force"));
  if (link.modbusOnly())
    throw UsageError(
        "a panel scan needs the panel's own line: modbus-tcp:// carries Modbus requests only (use rfc2217:// or "
        "tcp://)");
  const bool toTerminal = !out.toFile() && IsTerminal(kStandardOutput);
  ScanView view(link, console, out, json, args.has("--utf8") || toTerminal);
  ScanRun scan(link, console, view, timeout, retries, args.has("--strict-checksum"));

  std::string error;
  ExitCode failureCode = kExitPanel;
  try {
    error = scan.run();
  } catch (const CliError& e) {
    if (e.code() == kExitOutputClosed) throw;
    // A port that fails mid-scan (an adapter pulled) still leaves the rows
    // read until then in the output; its error decides the exit code.
    error = e.what();
    failureCode = e.code();
  }
  console.endProgress();
  if (scan.interrupted) failureCode = kExitInterrupted;
  const std::string failed = scan.replies.failureSummary();
  if (!failed.empty()) error += (error.empty() ? "" : "; ") + failed;

  if (json)
    out.write(ScanJsonDocument(view.result, scan.replies, error.empty(), error));
  else
    notePanel(console, view.result);
  const std::string kept = scan.replies.checksumSummary();
  if (!kept.empty()) console.warning(kept);
  const std::string rows = std::to_string(view.result.devices.size()) + " device rows";
  if (!error.empty()) {
    console.error(error + "; " + rows + " written");
    return failureCode;
  }
  const int retried = scan.replies.retries();
  console.note("scan complete: " + std::to_string(view.result.loops.size()) + " loops, " + rows +
               (retried ? " (" + std::to_string(retried) + " requests asked again)" : ""));
  return kExitOk;
}

}  // namespace ostrel::cli
