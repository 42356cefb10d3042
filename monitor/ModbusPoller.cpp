#include "monitor/ModbusPoller.h"

#include "cli/Exit.h"
#include "cli/Interrupt.h"
#include "cli/ModbusExchange.h"
#include "cli/WritePlan.h"
#include "modbus/complete.h"
#include "modbus/frames.h"
#include "modbus/reply.h"
#include "monitor/CommandJson.h"

namespace ostrel::monitor {

using cli::Clock;

namespace {

// Commands that may wait for the line at once; more are answered "failed" at once.
constexpr size_t kMostWaitingCommands = 16;

}  // namespace

ModbusPoller::ModbusPoller(const std::string& port, const cli::LineSettings& line, std::vector<PanelFeed*> panels)
    : keeper_(port, line), panels_(std::move(panels)), due_(panels_.size(), Clock::now()) {}

ModbusPoller::~ModbusPoller() { join(); }

void ModbusPoller::start() {
  thread_ = std::thread([this] { run(); });
}

void ModbusPoller::join() {
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void ModbusPoller::command(PanelFeed* panel, std::string payload) {
  {
    const std::lock_guard<std::mutex> hold(mutex_);
    if (commands_.size() >= kMostWaitingCommands) {
      panel->commandResult("", "failed", "too many commands waiting for the line");
      return;
    }
    commands_.push_back({panel, std::move(payload)});
  }
  wake_.notify_all();
}

void ModbusPoller::waitUntil(Clock::time_point when) {
  std::unique_lock<std::mutex> hold(mutex_);
  // Short steps, so the interrupt flag (raised by a signal handler) is seen soon.
  while (!cli::Interrupted() && commands_.empty() && Clock::now() < when)
    wake_.wait_until(hold, std::min(when, Clock::now() + std::chrono::milliseconds(50)));
}

void ModbusPoller::allLost(const std::string& reason) {
  for (PanelFeed* p : panels_) p->portLost(reason);
}

void ModbusPoller::run() {
  while (!cli::Interrupted()) {
    std::string why;
    cli::CliPort* port = keeper_.get(why);
    if (!port) allLost(why);
    for (;;) {
      std::optional<Pending> c;
      {
        const std::lock_guard<std::mutex> hold(mutex_);
        if (commands_.empty()) break;
        c = std::move(commands_.front());
        commands_.pop_front();
      }
      runCommand(port, *c);
      if (port && !keeper_.get(why)) port = nullptr;
    }
    if (!port) {
      waitUntil(keeper_.nextTry());
      continue;
    }
    auto next = Clock::time_point::max();
    for (size_t k = 0; k < panels_.size() && !cli::Interrupted(); ++k) {
      const auto now = Clock::now();
      if (now >= due_[k]) {
        try {
          readPanel(*port, *panels_[k]);
        } catch (const cli::CliError& e) {
          keeper_.lost(e.what());
          allLost(e.what());
          break;
        }
        // The next read-out at the next slot of the schedule; slots missed are skipped.
        const auto period = panels_[k]->config().period;
        due_[k] += period;
        if (due_[k] <= now) due_[k] = now + period;
      }
      next = std::min(next, due_[k]);
    }
    if (next != Clock::time_point::max()) waitUntil(next);
  }
}

void ModbusPoller::readPanel(cli::CliPort& port, PanelFeed& panel) {
  const PanelConfig& p = panel.config();
  const auto slave = static_cast<uint8_t>(p.slave);
  std::vector<std::vector<modbus::RegisterBytes>> all;
  for (const RegisterRange& r : p.registers) {
    const std::string request = modbus::BuildReadInputRegisters(slave, r.first, r.count);
    const auto wait =
        p.timeout.count() > 0 ? p.timeout : cli::DefaultModbusWait(port, request.size(), 5 + 2 * size_t(r.count));
    const cli::Exchange ex = cli::ModbusExchange(port, console_, request, wait);
    if (ex.interrupted) return;
    std::string failure = cli::ModbusFailure(ex.reply, p.slave, wait);
    if (failure.empty() && !modbus::ReadReplyMatches(request, ex.reply))
      failure = "slave " + std::to_string(p.slave) + " answered with an unexpected reply";
    if (!failure.empty()) {
      panel.readFailed(failure);
      return;
    }
    all.push_back(modbus::CheckReadReply(ex.reply).registers);
  }
  panel.readout(all);
}

void ModbusPoller::runCommand(cli::CliPort* port, const Pending& c) {
  CommandWords words;
  cli::PlannedWrite planned;
  const PanelConfig& p = c.panel->config();
  try {
    words = CommandFromJson(c.payload);
    planned = cli::PlanWrite(words.words, static_cast<uint8_t>(p.slave));
  } catch (const std::exception& e) {
    c.panel->commandResult(words.id, "invalid", e.what());
    return;
  }
  if (!port) {
    c.panel->commandResult(words.id, "failed", "the port " + p.modbusPort + " is not open");
    return;
  }
  try {
    const auto wait = p.timeout.count() > 0
                          ? p.timeout
                          : cli::DefaultModbusWait(*port, planned.frame.size(), modbus::kWriteReplyLength);
    const cli::Exchange ex = cli::ModbusExchange(*port, console_, planned.frame, wait);
    std::string failure = cli::ModbusFailure(ex.reply, p.slave, wait);
    if (failure.empty() && !modbus::WriteEchoConfirms(planned.frame, ex.reply))
      failure = "slave " + std::to_string(p.slave) + " answered with an unexpected reply";
    if (ex.interrupted) failure = "the monitor was stopping";
    if (failure.empty())
      c.panel->commandResult(words.id, "confirmed", "slave " + std::to_string(p.slave) + " confirmed: " + planned.what);
    else
      c.panel->commandResult(words.id, "failed", failure);
  } catch (const cli::CliError& e) {
    c.panel->commandResult(words.id, "failed", e.what());
    keeper_.lost(e.what());
    allLost(e.what());
  }
}

}  // namespace ostrel::monitor
