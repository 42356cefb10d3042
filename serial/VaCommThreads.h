#pragma once
// The port's worker threads and the write queue. The threads keep everything they touch
// (device, queue, locks, hand-over) in shared state of their own, so they may end after the
// port was closed or destroyed; they reach the port only through hand-overs whose token the
// port invalidates when it closes.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "serial/VaSync.h"
#include "serial/platform/VaDevice.h"

namespace ostrel::serial {

enum TThreadPriority : uint8_t { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// The write queue: one fixed block, never reallocated, with the queued bytes at its front.
class TVaCommBuffer {
 public:
  explicit TVaCommBuffer(int32_t capacity)
      : storage_(static_cast<size_t>(capacity > 0 ? capacity : 0)), capacity_(capacity) {}
  uint8_t* Storage() { return storage_.data(); }
  int32_t Capacity() const { return capacity_; }
  int32_t Used() const { return used_.load(std::memory_order_acquire); }
  // The caller guarantees room.
  void Append(const uint8_t* data, int32_t n);
  void Remove(int32_t n);
  void Clear() { used_.store(0, std::memory_order_release); }

 private:
  std::vector<uint8_t> storage_;
  int32_t capacity_;
  std::atomic<int32_t> used_{0};
};

// What a worker thread hands back to the port on the main thread.
struct TVaThreadLink {
  TVaDevicePtr device;
  std::shared_ptr<TVaMainThreadSync> sync;
  TVaSyncTokenPtr token;
  std::function<void(uint32_t mask)> dispatch;  // main thread, token valid
  std::function<void(int err)> lost;            // main thread, token valid
  void handOver(std::function<void()> step) const;
};

// Number of worker threads of all ports that have not ended yet.
int runningCommThreads();

// Waits until every port's worker thread has ended, at most `bound`; false when some are still
// running then. A program calls it after closing its ports and before its toolkit's application
// object goes, so that no worker reaches into a toolkit that is being torn down.
bool WaitForCommThreads(std::chrono::milliseconds bound);

class TVaCommEventThread {
 public:
  // Starts the thread at once with the given priority.
  static std::shared_ptr<TVaCommEventThread> Start(TVaThreadLink link, TThreadPriority priority);
  // Sets the terminate flag and wakes the device wait; does not wait for the thread.
  void Stop();
  void SetPriority(TThreadPriority p);

 private:
  void Body();
  std::shared_ptr<const TVaThreadLink> link_;
  std::atomic<bool> terminate_{false};
  std::atomic<int> tid_{0};
  std::atomic<int> priority_{tpNormal};
};

class TVaCommWriteThread {
 public:
  static std::shared_ptr<TVaCommWriteThread> Start(TVaThreadLink link, std::shared_ptr<TVaCriticalSection> writeLock,
                                                   int32_t capacity, TThreadPriority priority);
  // Caller's thread: queues the bytes, waiting up to writeTimeoutMs for room.
  bool Enqueue(const uint8_t* data, int32_t count, int32_t writeTimeoutMs);
  // Caller's thread, status lock held: empties the queue once the thread acknowledged.
  void PurgeQueue();
  void Stop();
  void SetPriority(TThreadPriority p);
  int32_t Used() const { return queue_.Used(); }
  int32_t Capacity() const { return queue_.Capacity(); }

 private:
  TVaCommWriteThread(int32_t capacity) : queue_(capacity) {}
  void Body();
  void AfterWrite(size_t written, uint64_t generation);
  void AnswerPurge();  // m_ held
  void Refused(uint64_t generation);
  std::shared_ptr<const TVaThreadLink> link_;
  std::shared_ptr<TVaCriticalSection> writeLock_;
  TVaCommBuffer queue_;
  std::mutex m_;
  std::condition_variable cv_;
  bool writing_ = false;  // from taking the queue's extent to the end of the device write
  // Raised with a purge request while writing: holds until the write it targets has ended,
  // so it also stops a device write that had not begun when the purge came.
  std::atomic<bool> abortWrite_{false};
  bool stop_ = false, purgeRequest_ = false, purgeAck_ = false, dataReady_ = false;
  uint64_t purgeGeneration_ = 0;  // under the write lock; a purge makes earlier writes stale
  std::atomic<int> tid_{0};
  std::atomic<int> priority_{tpHighest};
  // Thread only: the device refuses the queued bytes; when the refusal was reported, and the
  // pause before the next try.
  bool refusing_ = false;
  uint64_t refusedGeneration_ = 0;
  std::chrono::milliseconds retryDelay_{10};
};

}  // namespace ostrel::serial
