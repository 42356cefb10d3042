#include <windows.h>

#include "serial/platform/ThreadPriority.h"

namespace ostrel::serial {

int CurrentThreadId() { return static_cast<int>(GetCurrentThreadId()); }

void SetThreadPriorityOf(int tid, int priority) {
  if (tid == 0) return;
  static constexpr int level[] = {
      THREAD_PRIORITY_IDLE,         THREAD_PRIORITY_LOWEST,  THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
      THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST, THREAD_PRIORITY_TIME_CRITICAL};
  HANDLE thread = OpenThread(THREAD_SET_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(tid));
  if (!thread) return;  // the thread has ended
  SetThreadPriority(thread, level[priority >= 0 && priority <= 6 ? priority : 3]);
  CloseHandle(thread);
}

}  // namespace ostrel::serial
