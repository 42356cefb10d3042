#pragma once
// Waitable events, a recursive lock, and the synchronous hand-over from a worker thread to the
// main thread.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace ostrel::serial {

inline constexpr uint32_t kInfinite = 0xFFFFFFFF;

// Owns one waitable object and the error code of its last failed wait.
class TVaHandleObject {
 public:
  enum WaitResult { wrSignaled = 0, wrTimeout = 1, wrAbandoned = 2, wrError = 3 };
  virtual ~TVaHandleObject() = default;
  WaitResult WaitFor(uint32_t milliseconds);
  int32_t LastError() const { return lastError_; }

 protected:
  std::mutex m_;
  std::condition_variable cv_;
  bool signaled_ = false;
  int32_t lastError_ = 0;
};

class TVaEvent : public TVaHandleObject {
 public:
  void SetEvent();
  void ResetEvent();
  bool IsSet();
};

// Manual-reset event, created unsignalled.
class TVaWaitEvent : public TVaEvent {};

class TVaCriticalSection {
 public:
  void Enter() { m_.lock(); }
  void Leave() { m_.unlock(); }
  // BasicLockable, for std::lock_guard.
  void lock() { m_.lock(); }
  void unlock() { m_.unlock(); }

 private:
  std::recursive_mutex m_;
};

// Ties hand-overs to one open period of a port: closing the port invalidates it, and a
// hand-over whose token is invalid runs nothing.
class TVaSyncToken {
 public:
  bool valid() const { return valid_.load(std::memory_order_acquire); }
  void invalidate() { valid_.store(false, std::memory_order_release); }

 private:
  std::atomic<bool> valid_{true};
};
using TVaSyncTokenPtr = std::shared_ptr<TVaSyncToken>;

// The hand-over of a step from a worker thread to the main thread. runSync blocks until the
// main thread has run the step, or has dropped it because its token was invalidated before it
// started. A step that has started runs to its end before its worker goes on, even when the step
// itself closes the port (and so invalidates the token): whatever the step's closure refers to
// is still there while it runs. An implementation runs a step only while its token is valid,
// checked on the main thread.
class TVaMainThreadSync {
 public:
  virtual ~TVaMainThreadSync() = default;
  virtual void runSync(const TVaSyncTokenPtr& token, std::function<void()> step) = 0;
  // Main thread: the token was just invalidated; release workers waiting on its hand-overs that
  // have not started. Whether a step is queued, started, and whether cancel has run are decided
  // under one lock, so no worker is left waiting once cancel has returned (except on a step that
  // is running now, whose worker goes on when it ends).
  virtual void cancel(const TVaSyncTokenPtr& token) {}
};

// The steps handed over and not yet finished, and their state; shared by the workers that wait
// and the main thread that runs or drops them. Both hand-overs (the toolkit's and the loop of
// our own below) keep their promise through it.
class TVaHandOvers {
 public:
  struct Request;
  using RequestPtr = std::shared_ptr<Request>;
  // Worker: a request for the step, or nothing when the token is invalid already (checked
  // under the lock that cancel takes, so a request made is one that cancel will see).
  RequestPtr submit(const TVaSyncTokenPtr& token, std::function<void()> step);
  // Worker: blocks until the request has finished or was dropped.
  void wait(const RequestPtr& r);
  // Main thread: runs the step unless it was dropped or its token is invalid now. An exception
  // from the step goes on to the caller once the worker has been released.
  void run(const RequestPtr& r);
  // Main thread: drops every request of the token that has not started.
  void cancel(const TVaSyncTokenPtr& token);
  // Requests submitted and neither finished nor dropped.
  size_t unfinished();

 private:
  std::mutex m_;
  std::condition_variable cv_;
  std::vector<RequestPtr> open_;
};

// A main loop of its own for tests, benchmarks and programs without a toolkit: the thread
// that creates it is the main thread and pumps it with processPending or runUntil.
class TVaMainLoop : public TVaMainThreadSync {
 public:
  TVaMainLoop();
  void runSync(const TVaSyncTokenPtr& token, std::function<void()> step) override;
  void cancel(const TVaSyncTokenPtr& token) override;

  // Runs every step queued so far; returns how many ran or were dropped.
  int processPending();
  // Pumps until pred() holds or the time is up; returns pred().
  bool runUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout);
  // Pumps for the given time (for checks that nothing happens).
  void runFor(std::chrono::milliseconds time);
  size_t pending();
  bool isMainThread() const { return std::this_thread::get_id() == main_; }

 private:
  std::thread::id main_;
  TVaHandOvers handOvers_;
  std::mutex m_;
  std::condition_variable cv_;  // new requests
  std::deque<TVaHandOvers::RequestPtr> queue_;
};

}  // namespace ostrel::serial
