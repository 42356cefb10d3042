// ostrel-cli scan: the panel information, both loops and every device, with
// the window's request order and reply rules, each reply handled as soon as
// its end byte arrived.
#include <algorithm>
#include <array>
#include <cstdio>

#include "app/core/Csv.h"
#include "cli/CliPort.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/Exit.h"
#include "cli/Records.h"
#include "cli/System.h"
#include "common/cp1251.h"
#include "panel/PanelScan.h"

namespace ostrel::cli {
namespace {

const char* kHelp =
    "Usage: ostrel-cli scan --port PORT [--speed 2400] [--parity even] [--stop 2]\n"
    "                       [-o FILE [--append]] [--json] [--timeout MS] [--quiet] [--verbose]\n"
    "\n"
    "Reads the panel over its own protocol: the panel information, the two loops\n"
    "and every device. The device rows are written as they come, in the CSV format\n"
    "of the window's Save (Windows-1251, ';' after every field, CR LF), which the\n"
    "window's Load reads back; the panel information and the loops go to standard\n"
    "error. With --json one JSON document (UTF-8) holds all of it. Rows shown on a\n"
    "terminal, or written with --utf8, are UTF-8 instead of Windows-1251.\n"
    "\n"
    "  -p, --port PORT   COM1 .. COM256 (on Linux through the device map) or a device path\n"
    "  --speed, --parity, --stop   line settings (default 2400, even, 2)\n"
    "  -o, --output FILE write to FILE instead of standard output; the file is replaced\n"
    "                    when the scan ends, or not at all if writing it fails\n"
    "  --append          add the CSV rows to the end of FILE instead (not with --json)\n"
    "  --json            one JSON document with panel, loops and devices\n"
    "  --utf8            CSV rows in UTF-8 instead of Windows-1251\n"
    "  --timeout MS      wait for each reply (default 2500)\n"
    "  -q, --quiet       no notes and no progress bar\n"
    "  -v, --verbose     echo the traffic as SENT:/QVFP: lines on standard error\n"
    "\n"
    "Exit: 0 read whole, 1 the panel refused a request or stopped answering (rows\n"
    "read until then are written), 2 bad usage (also an output that cannot be written),\n"
    "3 the port could not be opened, 130 interrupted (rows read until then are written),\n"
    "141 the reader of standard output went away.\n";

const std::array<const char*, 5> kLoopKeys{"loop", "devices", "max_ma", "on", "addressing"};
const std::array<const char*, 11> kDeviceKeys{"device",   "id",   "type",   "old_number", "next",  "previous",
                                              "branches", "zone", "status", "flags",      "modbus"};

template <size_t N>
std::string jsonObject(const std::array<const char*, N>& keys, const std::vector<std::string>& cells) {
  std::string out = "{";
  for (size_t i = 0; i < N; ++i) {
    if (i) out += ", ";
    out += JsonString(keys[i]) + ": " + JsonString(i < cells.size() ? cells[i] : std::string());
  }
  return out + "}";
}

// The window's side of the scan, for a command line: traffic and messages
// to the console, rows to the output, the reply wait's arming time.
class ScanView : public panel::PanelLinkView {
 public:
  ScanView(CliPort& port, Console& console, RecordOutput& out, bool json, bool utf8)
      : port_(port), console_(console), out_(out), json_(json), utf8_(utf8) {}

  void AddLogLine(const std::string& line) override {
    if (line.rfind("SENT: ", 0) == 0 || line.rfind("QVFP: ", 0) == 0) {
      console_.traffic(line);
      return;
    }
    console_.traffic(line);
    if (line == "no response") return;  // the command's own error line says it
    if (line != "No loops to read...") ++failures;
    console_.note(line);
  }
  bool PortOpen() override { return true; }
  void WritePort(const std::string& bytes) override { port_.write(bytes); }
  void PurgePort() override { port_.purge(); }
  void SetPanelLabel(panel::PanelLabel which, const std::string& text) override {
    labels[static_cast<size_t>(which)] = text;
  }
  void AddLoopRow(const std::vector<std::string>& cells) override { loops.push_back(cells); }
  void AddDeviceRow(const std::vector<std::string>& cells) override {
    devices.push_back(cells);
    if (json_) return;
    const std::string line = SaveGridRows({cells});
    out_.write(utf8_ ? cp1251ToUtf8(line) : line);
  }
  void StartTimer() override {
    timer = true;
    armedAt = Clock::now();
  }
  void StopTimer() override { timer = false; }

  bool timer = false;
  Clock::time_point armedAt;
  int failures = 0;
  std::array<std::string, 3> labels;
  std::vector<std::vector<std::string>> loops, devices;

 private:
  CliPort& port_;
  Console& console_;
  RecordOutput& out_;
  bool json_, utf8_;
};

// Devices the scan asks for: 1 .. N-1 of a loop with N devices, device 1
// alone when N is 0 or 1.
int plannedDevices(const std::vector<std::vector<std::string>>& loops) {
  int total = 0;
  for (const auto& row : loops) {
    long n = 0;
    ParseWhole(row.size() > 1 ? row[1] : "", 0, 255, n);
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

std::string jsonDocument(const ScanView& v, bool complete, const std::string& error) {
  std::string doc = "{\n  \"panel\": [";
  for (size_t i = 0; i < v.labels.size(); ++i) doc += (i ? ", " : "") + JsonString(v.labels[i]);
  doc += "],\n  \"loops\": [";
  for (size_t i = 0; i < v.loops.size(); ++i)
    doc += std::string(i ? "," : "") + "\n    " + jsonObject(kLoopKeys, v.loops[i]);
  doc += v.loops.empty() ? "],\n" : "\n  ],\n";
  doc += "  \"devices\": [";
  for (size_t i = 0; i < v.devices.size(); ++i)
    doc += std::string(i ? "," : "") + "\n    " + jsonObject(kDeviceKeys, v.devices[i]);
  doc += v.devices.empty() ? "],\n" : "\n  ],\n";
  doc += "  \"complete\": " + std::string(complete ? "true" : "false");
  if (!error.empty()) doc += ",\n  \"error\": " + JsonString(error);
  return doc + "\n}\n";
}

// The scan driven by the arrival of each reply instead of a 5 ms tick: a
// reply is handled as soon as its end byte is in, the wait ends at the
// time-out, at Ctrl+C, or when the port fails.
class ScanRun {
 public:
  ScanRun(CliPort& link, Console& console, ScanView& view, std::chrono::milliseconds timeout)
      : link_(link), console_(console), view_(view), scan_(view), timeout_(timeout) {
    link_.onBytes([this](const std::string& bytes) { scan_.CollectReply(bytes); });
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
      if (waited == CliPort::Wait::TimedOut) {
        scan_.ExpireReplyWait();
        return "the panel did not answer within " + std::to_string(timeout_.count()) + " ms (" + awaited(step) + ")";
      }
      const uint64_t before = scan_.requestsSent();
      scan_.Tick();
      if (scan_.requestsSent() > before && scan_.scanStep() == 3) ++deviceRequests_;
    }
    return {};
  }

  bool interrupted = false;

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
    const int total = plannedDevices(view_.loops);
    console_.progress("scan " + bar(deviceRequests_, total) + " device " + std::to_string(deviceRequests_) + " of " +
                      std::to_string(total) + ", loop " + std::to_string(scan_.loopIndex() + 1) + ", " +
                      elapsedText(start_));
  }

  CliPort& link_;
  Console& console_;
  ScanView& view_;
  panel::PanelScan scan_;
  std::chrono::milliseconds timeout_;
  Clock::time_point start_ = Clock::now();
  int deviceRequests_ = 0;
};

// The panel information and the loops, as notes beside the CSV rows.
void notePanel(Console& console, const ScanView& view) {
  for (const auto& label : view.labels) {
    if (!label.empty()) console.note("panel: " + label);
  }
  for (const auto& row : view.loops) {
    std::string text = "loop:";
    for (const auto& cell : row) {
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
  const Args args("scan", specs, words);
  if (args.has("--help")) return PrintHelp(kHelp);
  const LineSettings line = LineFromArgs(args, {2400, serial::paEven, serial::sb2});
  const auto timeout = std::chrono::milliseconds(args.integer("--timeout", 10, 600000, 2500));
  const bool json = args.has("--json");
  Console console(args.has("--quiet"), args.has("--verbose"));
  const std::string port = args.required("--port");
  const OutputChoice choice = OutputFrom(args);
  if (json && choice.append) throw UsageError("--append does not go with --json: the file would hold two documents");
  // The output first: a path that cannot be written is refused before the panel is asked.
  RecordOutput out(choice);
  out.open();

  CliPort link(port, line, args.has("--force"));
  const bool toTerminal = !out.toFile() && IsTerminal(kStandardOutput);
  ScanView view(link, console, out, json, args.has("--utf8") || toTerminal);
  ScanRun scan(link, console, view, timeout);

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
  if (error.empty() && view.failures > 0)
    error = "the panel refused or garbled " + std::to_string(view.failures) + " of its replies (see the lines above)";

  if (json)
    out.write(jsonDocument(view, error.empty(), error));
  else
    notePanel(console, view);
  const std::string rows = std::to_string(view.devices.size()) + " device rows";
  if (!error.empty()) {
    console.error(error + "; " + rows + " written");
    return failureCode;
  }
  console.note("scan complete: " + std::to_string(view.loops.size()) + " loops, " + rows);
  return kExitOk;
}

}  // namespace ostrel::cli
