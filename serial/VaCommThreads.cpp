#include "serial/VaCommThreads.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "serial/platform/ThreadPriority.h"

namespace ostrel::serial {

namespace {
// The count of running workers. Never destroyed: a detached worker may still be finishing while
// the program's static objects are torn down.
struct Running {
  std::mutex m;
  std::condition_variable changed;
  int count = 0;
};
Running& running() {
  static Running* r = new Running;
  return *r;
}

// Counts a worker from before it starts until its thread object, and all it holds, is gone.
struct RunningGuard {
  RunningGuard() {
    std::lock_guard l(running().m);
    ++running().count;
  }
  ~RunningGuard() {
    std::lock_guard l(running().m);
    --running().count;
    running().changed.notify_all();
  }
};

// Runs a thread's body on a thread of its own. The body's closure keeps the thread object alive
// until the body has returned; the thread counts as running until that closure is gone too.
void launch(std::function<void()> body) {
  auto guard = std::make_shared<RunningGuard>();
  std::thread([body = std::move(body), guard = std::move(guard)]() mutable {
    body();
    body = nullptr;
    guard.reset();
  }).detach();
}
}  // namespace

int runningCommThreads() {
  std::lock_guard l(running().m);
  return running().count;
}

bool WaitForCommThreads(std::chrono::milliseconds bound) {
  std::unique_lock l(running().m);
  return running().changed.wait_for(l, bound, [] { return running().count == 0; });
}

void TVaCommBuffer::Append(const uint8_t* data, int32_t n) {
  int32_t used = Used();
  std::memcpy(storage_.data() + used, data, static_cast<size_t>(n));
  used_.store(used + n, std::memory_order_release);
}

void TVaCommBuffer::Remove(int32_t n) {
  int32_t used = Used();
  if (n > used) n = used;
  std::memmove(storage_.data(), storage_.data() + n, static_cast<size_t>(used - n));
  used_.store(used - n, std::memory_order_release);
}

// runSync checks the token itself, in step with cancel(); a check here would decide on a token
// that may be invalidated before the step is queued.
void TVaThreadLink::handOver(std::function<void()> step) const { sync->runSync(token, std::move(step)); }

// ---------------------------------------------------------------- event thread

std::shared_ptr<TVaCommEventThread> TVaCommEventThread::Start(TVaThreadLink link, TThreadPriority priority) {
  auto t = std::make_shared<TVaCommEventThread>();
  t->link_ = std::make_shared<const TVaThreadLink>(std::move(link));
  t->priority_ = priority;
  launch([t] { t->Body(); });  // the thread keeps itself alive and ends by itself
  return t;
}

void TVaCommEventThread::Stop() {
  terminate_ = true;
  link_->device->cancelWait();
}

void TVaCommEventThread::SetPriority(TThreadPriority p) {
  priority_ = p;
  SetThreadPriorityOf(tid_, p);
}

void TVaCommEventThread::Body() {
  tid_ = CurrentThreadId();
  SetThreadPriorityOf(tid_, static_cast<TThreadPriority>(priority_.load()));
  int failures = 0;
  while (!terminate_) {
    uint32_t mask = 0;
    int e = link_->device->waitEvent(mask);
    if (terminate_) break;
    if (e == 0) {
      failures = 0;
      if (mask == 0) continue;
      auto link = link_;  // shared: the step may outlive this thread object
      link_->handOver([link, mask] {
        if (link->token->valid()) link->dispatch(mask);
      });
    } else if (e == ECANCELED) {
      continue;
    } else if (isDeviceLost(e)) {
      // The device is gone: every further wait would fail at once. Report it once and stop.
      auto link = link_;  // shared: the step may outlive this thread object
      link_->handOver([link, e] {
        if (link->token->valid()) link->lost(e);
      });
      break;
    } else if (++failures > 1) {
      // A failing wait is retried; when it keeps failing, pace the retries.
      std::this_thread::sleep_for(std::chrono::milliseconds(std::min(failures, 50)));
    }
  }
}

// ---------------------------------------------------------------- write thread

std::shared_ptr<TVaCommWriteThread> TVaCommWriteThread::Start(TVaThreadLink link,
                                                              std::shared_ptr<TVaCriticalSection> writeLock,
                                                              int32_t capacity, TThreadPriority priority) {
  std::shared_ptr<TVaCommWriteThread> t(new TVaCommWriteThread(capacity));
  t->link_ = std::make_shared<const TVaThreadLink>(std::move(link));
  t->writeLock_ = std::move(writeLock);
  t->priority_ = priority;
  launch([t] { t->Body(); });
  return t;
}

void TVaCommWriteThread::SetPriority(TThreadPriority p) {
  priority_ = p;
  SetThreadPriorityOf(tid_, p);
}

void TVaCommWriteThread::Stop() {
  std::lock_guard l(m_);
  stop_ = true;
  abortWrite_ = true;
  cv_.notify_all();
}

bool TVaCommWriteThread::Enqueue(const uint8_t* data, int32_t count, int32_t writeTimeoutMs) {
  const int32_t size = queue_.Capacity();
  if (count < 0) return false;
  if (static_cast<int64_t>(queue_.Used()) + count > size) {
    // Wait for the thread to make room; once waiting, strictly less than the capacity.
    uint32_t start = static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
    for (;;) {
      uint32_t now = static_cast<uint32_t>(
          std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
              .count());
      if (now - start > static_cast<uint32_t>(writeTimeoutMs)) return false;
      if (static_cast<int64_t>(queue_.Used()) + count < size) break;
      std::this_thread::yield();
    }
  }
  std::lock_guard w(*writeLock_);
  queue_.Append(data, count);
  std::lock_guard l(m_);
  dataReady_ = true;
  cv_.notify_all();
  return true;
}

void TVaCommWriteThread::PurgeQueue() {
  {
    // Not writing (waiting, or handing an event to the main thread, which is us): nothing
    // reads the storage, so empty the queue at once instead of waiting for an answer the
    // thread could only give after the main thread ran its hand-over.
    std::lock_guard w(*writeLock_);
    std::lock_guard l(m_);
    if (!writing_) {
      queue_.Clear();
      ++purgeGeneration_;
      purgeRequest_ = false;
      return;
    }
  }
  {
    std::lock_guard l(m_);
    purgeAck_ = false;
    purgeRequest_ = true;
    abortWrite_ = true;
    cv_.notify_all();
  }
  link_->device->interruptWrite();  // a device write in progress gives up at once
  {
    std::unique_lock l(m_);
    if (!cv_.wait_for(l, std::chrono::milliseconds(2000), [&] { return purgeAck_; })) {
      purgeRequest_ = false;  // withdrawn: the queue keeps its bytes
      purgeAck_ = false;
      abortWrite_ = false;
      return;
    }
  }
  // The thread starts no new write while the answer is outstanding, so nothing reads the
  // storage while it is emptied and refilled.
  {
    std::lock_guard w(*writeLock_);
    queue_.Clear();
    ++purgeGeneration_;
  }
  std::lock_guard l(m_);
  purgeAck_ = false;
  cv_.notify_all();
}

void TVaCommWriteThread::Refused(uint64_t generation) {
  // One report per failure: the first refusal of these bytes, or of bytes queued after a
  // purge. The bytes stay queued and are tried again at a falling pace.
  constexpr std::chrono::milliseconds kFirstRetry{10}, kSlowestRetry{500};
  if (!refusing_ || generation != refusedGeneration_) {
    auto link = link_;  // shared: the step may outlive this thread object
    link_->handOver([link] {
      if (link->token->valid()) link->dispatch(ev::Err);
    });
    retryDelay_ = kFirstRetry;
  }
  refusing_ = true;
  refusedGeneration_ = generation;
  std::unique_lock l(m_);
  cv_.wait_for(l, retryDelay_, [&] { return stop_ || purgeRequest_; });
  retryDelay_ = std::min(retryDelay_ * 2, kSlowestRetry);
}

void TVaCommWriteThread::AnswerPurge() {
  purgeRequest_ = false;
  purgeAck_ = true;
  abortWrite_ = false;  // no write is in progress: the abort has done its work
  cv_.notify_all();
}

void TVaCommWriteThread::AfterWrite(size_t written, uint64_t generation) {
  bool empty;
  {
    std::lock_guard w(*writeLock_);
    // A write taken before a purge emptied the queue removes nothing from the new contents.
    if (generation == purgeGeneration_) queue_.Remove(static_cast<int32_t>(written));
    empty = queue_.Used() == 0;
    std::lock_guard l(m_);
    dataReady_ = !empty;
  }
  if (empty) {
    auto link = link_;  // shared: the step may outlive this thread object
    link_->handOver([link] {
      if (link->token->valid()) link->dispatch(ev::TxEmpty);
    });
  }
}

void TVaCommWriteThread::Body() {
  tid_ = CurrentThreadId();
  SetThreadPriorityOf(tid_, static_cast<TThreadPriority>(priority_.load()));
  bool lost = false;
  for (;;) {
    std::unique_lock l(m_);
    cv_.wait(l, [&] { return stop_ || purgeRequest_ || (dataReady_ && !lost && !purgeAck_); });
    if (stop_) break;
    if (purgeRequest_) {
      AnswerPurge();
      continue;
    }
    writing_ = true;
    l.unlock();
    const uint8_t* data;
    size_t n;
    uint64_t generation;
    {
      std::lock_guard w(*writeLock_);
      data = queue_.Storage();
      n = static_cast<size_t>(queue_.Used());
      generation = purgeGeneration_;
    }
    size_t written = 0;
    int e = n ? link_->device->write(data, n, -1, written, &abortWrite_) : 0;
    l.lock();
    writing_ = false;
    if (stop_) break;
    if (purgeRequest_) {  // the purge gives the write up; the queue is emptied after the answer
      AnswerPurge();
      continue;
    }
    l.unlock();
    if (e == 0) {
      refusing_ = false;
      AfterWrite(written, generation);
    } else if (isDeviceLost(e)) {
      lost = true;        // wait for stop or purge only; the loss is reported once
      auto link = link_;  // shared: the step may outlive this thread object
      link_->handOver([link, e] {
        if (link->token->valid()) link->lost(e);
      });
    } else {
      Refused(generation);
    }
  }
}

}  // namespace ostrel::serial
