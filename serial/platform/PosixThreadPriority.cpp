#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "serial/platform/ThreadPriority.h"

namespace ostrel::serial {

int CurrentThreadId() { return static_cast<int>(syscall(SYS_gettid)); }

void SetThreadPriorityOf(int tid, int priority) {
  if (tid == 0) return;
  // An ordinary user may lower a thread's priority but not raise it above normal: the levels
  // above normal stay at normal.
  static constexpr int nice[] = {19, 10, 5, 0, 0, 0, 0};
  setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice[priority >= 0 && priority <= 6 ? priority : 3]);
}

}  // namespace ostrel::serial
