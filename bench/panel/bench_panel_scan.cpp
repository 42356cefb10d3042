// Full scan of a simulated panel with two loops of 250 devices each, driven
// with a real 5 ms tick over a pseudo-terminal:
//   1. replies instant: total time and requests per second against the ideal
//      of one 5 ms tick per request;
//   2. replies paced as a 2400 baud 8E2 line (12 bits a byte) would carry
//      them: total time against the wire time of all bytes both ways.
// Usage: bench_panel_scan [devices per loop (250)] [paced devices per loop (250)]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/panel/sim_driver.h"

using namespace ostrel::panel;
using namespace ostrel::panel::testing;

namespace {

struct Result {
  double seconds;
  uint64_t requests, bytes;
  size_t rows;
};

Result scanOnce(const std::vector<std::string>& options) {
  Simulator sim(options);
  PtyView view(sim.path());
  PanelScan scan(view);
  const auto t0 = std::chrono::steady_clock::now();
  scan.StartScan();
  RunScan(scan, view, std::chrono::seconds(3600));
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  return {s, scan.requestsSent(), view.bytesWritten + view.bytesRead, view.deviceRows.size()};
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("OSTREL_SOURCE_DIR")) setenv("OSTREL_SOURCE_DIR", OSTREL_SOURCE_DIR_DEFAULT, 1);
  const std::string n = argc > 1 ? argv[1] : "250";
  const std::string paced = argc > 2 ? argv[2] : "250";

  const Result a = scanOnce({"--devices", n + "," + n});
  const double ideal = a.requests * 0.005;
  std::printf("instant replies, %s+%s devices: %llu requests, %zu device rows, %.3f s, %.1f requests/s\n", n.c_str(),
              n.c_str(), static_cast<unsigned long long>(a.requests), a.rows, a.seconds, a.requests / a.seconds);
  std::printf("  time / ideal (one 5 ms tick per request, %.3f s): %.3f\n", ideal, a.seconds / ideal);

  const Result b = scanOnce({"--devices", paced + "," + paced, "--baud", "2400", "--frame", "8E2"});
  const double wire = b.bytes * 12.0 / 2400.0;
  std::printf("2400 baud 8E2, %s+%s devices: %llu requests, %zu device rows, %llu line bytes, %.3f s\n", paced.c_str(),
              paced.c_str(), static_cast<unsigned long long>(b.requests), b.rows,
              static_cast<unsigned long long>(b.bytes), b.seconds);
  std::printf("  time / wire time of its bytes (%.3f s): %.3f\n", wire, b.seconds / wire);
  return 0;
}
