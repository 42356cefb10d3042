// ostrel-cli against the wire time of the bytes it exchanges, with peers
// that pace their replies as a real line would:
//   1. a 125-register read-out at 19200 baud 8E1 (11 bits a byte): the
//      request, its wait and the decode-ready reply, repeated; and the whole
//      program (start, open, one read-out, close) once;
//   2. a full panel scan at 2400 baud 8E2 (12 bits a byte): the whole
//      program, against the wire time of every request and reply.
// Usage: bench_cli [read-outs (20)] [devices per loop for a generated panel (0: the default panel)]
#include <algorithm>
#include <cstdio>
#include <sstream>

#include "cli/CliPort.h"
#include "cli/Console.h"
#include "cli/ModbusExchange.h"
#include "modbus/complete.h"
#include "modbus/frames.h"
#include "peers.h"

using namespace ostrel;
using namespace ostrel::cli;
using namespace ostrel::cli::testing;

namespace {

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

void readoutBench(int rounds) {
  const std::string dir = NewMapDir();
  Peer slave({"python3", std::string(OSTREL_SOURCE_DIR) + "/tools/qvsim/modbus.py", "--baud", "19200", "--frame", "8E1",
              "--link", dir + "/COM2"});
  if (slave.line().empty() || !WaitFor([&] { return Exists(dir + "/COM2"); }, std::chrono::seconds(10))) {
    std::printf("the paced Modbus slave did not start\n");
    return;
  }
  const double wire = (8 + modbus::ReadReplyLength(125)) * 11.0 / 19200.0;
  std::vector<double> ratios;
  {
    CliPort port("COM2", {19200, serial::paEven, serial::sb1});
    Console console(true, false);
    const std::string request = modbus::BuildReadInputRegisters(1, 1, 125);
    for (int i = 0; i < rounds; ++i) {
      const auto t0 = Clock::now();
      const Exchange ex = ModbusExchange(port, console, request, std::chrono::milliseconds(2000));
      const double s = seconds(Clock::now() - t0);
      if (!modbus::ReplyComplete(4, ex.reply)) {
        std::printf("read-out %d incomplete (%zu bytes)\n", i, ex.reply.size());
        return;
      }
      ratios.push_back(s / wire);
    }
  }
  std::sort(ratios.begin(), ratios.end());
  std::printf("125-register read-out, 19200 baud 8E1, %d read-outs: wire time %.1f ms\n", rounds, wire * 1000);
  std::printf("  time / wire time: median %.3f, best %.3f, worst %.3f\n", ratios[ratios.size() / 2], ratios.front(),
              ratios.back());

  const auto t0 = Clock::now();
  const Result r = RunCli({"read", "--port", "COM2", "--count", "125"});
  const double s = seconds(Clock::now() - t0);
  std::printf("  whole program (start, open, read-out, print, close): %.1f ms, exit %d, / wire time %.3f\n", s * 1000,
              r.code, s / wire);
}

// Line bytes of the frames in the SENT:/QVFP: lines of a verbose scan: each
// frame of n bytes travels as its start and end byte and 2 characters for
// every byte between them.
size_t lineBytes(const std::string& verbose) {
  size_t total = 0;
  std::istringstream in(verbose);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("SENT: ", 0) != 0 && line.rfind("QVFP: ", 0) != 0) continue;
    const size_t n = (line.size() - 6) / 3;
    total += n >= 2 ? 2 * n - 2 : n;
  }
  return total;
}

void scanBench(int devices) {
  std::vector<std::string> options{"--baud", "2400", "--frame", "8E2"};
  if (devices > 0)
    options.insert(options.end(), {"--devices", std::to_string(devices) + "," + std::to_string(devices)});
  PanelPeer panel(options);
  if (!panel.ready) {
    std::printf("the simulated panel did not start\n");
    return;
  }
  const auto t0 = Clock::now();
  const Result r = RunCli({"scan", "--port", "COM1", "-v", "-o", "/dev/null"});
  const double s = seconds(Clock::now() - t0);
  const size_t bytes = lineBytes(r.err);
  const double wire = bytes * 12.0 / 2400.0;
  std::printf(
      "full scan, 2400 baud 8E2, %s: exit %d, %zu line bytes, wire time %.3f s, program %.3f s\n",
      devices > 0 ? (std::to_string(devices) + "+" + std::to_string(devices) + " devices").c_str() : "default panel",
      r.code, bytes, wire, s);
  std::printf("  time / wire time: %.3f\n", s / wire);
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  const int devices = argc > 2 ? std::atoi(argv[2]) : 0;
  readoutBench(rounds);
  scanBench(devices);
  return 0;
}
