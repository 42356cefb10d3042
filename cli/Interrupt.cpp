#include "cli/Interrupt.h"

#include <csignal>

namespace ostrel::cli {
namespace {

volatile std::sig_atomic_t gInterrupted = 0;

}  // namespace

void RaiseInterrupt() { gInterrupted = 1; }

bool Interrupted() { return gInterrupted != 0; }

}  // namespace ostrel::cli
