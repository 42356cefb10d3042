#pragma once
// Thread identities and scheduling priorities of the operating system the program was built
// for. Each platform has a file of its own; the build picks it.
namespace ostrel::serial {

// The calling thread's identity as the scheduler knows it; never 0.
int CurrentThreadId();
// Gives the thread `tid` the scheduling level of `priority`, an ordinal from idle (0) over
// normal (3) to time-critical (6). A priority the user may not raise to is left as it was;
// tid 0 (a thread not yet started) is ignored.
void SetThreadPriorityOf(int tid, int priority);

}  // namespace ostrel::serial
