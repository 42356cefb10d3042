#include "serial/VaSync.h"

namespace ostrel::serial {

TVaHandleObject::WaitResult TVaHandleObject::WaitFor(uint32_t milliseconds) {
  std::unique_lock l(m_);
  if (milliseconds == kInfinite) {
    cv_.wait(l, [&] { return signaled_; });
    return wrSignaled;
  }
  return cv_.wait_for(l, std::chrono::milliseconds(milliseconds), [&] { return signaled_; }) ? wrSignaled : wrTimeout;
}

void TVaEvent::SetEvent() {
  std::lock_guard l(m_);
  signaled_ = true;
  cv_.notify_all();
}

void TVaEvent::ResetEvent() {
  std::lock_guard l(m_);
  signaled_ = false;
}

bool TVaEvent::IsSet() {
  std::lock_guard l(m_);
  return signaled_;
}

struct TVaHandOvers::Request {
  enum class State { Queued, Started, Finished, Dropped };
  TVaSyncTokenPtr token;
  std::function<void()> step;
  State state = State::Queued;
};

TVaHandOvers::RequestPtr TVaHandOvers::submit(const TVaSyncTokenPtr& token, std::function<void()> step) {
  std::lock_guard l(m_);
  if (!token || !token->valid()) return nullptr;
  auto r = std::make_shared<Request>();
  r->token = token;
  r->step = std::move(step);
  open_.push_back(r);
  return r;
}

void TVaHandOvers::wait(const RequestPtr& r) {
  std::unique_lock l(m_);
  cv_.wait(l, [&] { return r->state == Request::State::Finished || r->state == Request::State::Dropped; });
}

void TVaHandOvers::run(const RequestPtr& r) {
  {
    std::lock_guard l(m_);
    if (r->state != Request::State::Queued) return;
    r->state = Request::State::Started;
  }
  // Releases the worker however the step ends, and only then: the step and what its closure
  // holds are dropped here, on the main thread, after it has returned.
  struct Finish {
    TVaHandOvers& self;
    const RequestPtr& r;
    ~Finish() {
      std::function<void()> done;
      {
        std::lock_guard l(self.m_);
        done.swap(r->step);
        r->state = Request::State::Finished;
        std::erase(self.open_, r);
      }
      self.cv_.notify_all();
    }
  } finish{*this, r};
  if (r->token->valid()) r->step();
}

void TVaHandOvers::cancel(const TVaSyncTokenPtr& token) {
  {
    std::lock_guard l(m_);
    std::erase_if(open_, [&](const RequestPtr& r) {
      if (r->token != token || r->state != Request::State::Queued) return false;
      r->state = Request::State::Dropped;
      r->step = nullptr;
      return true;
    });
  }
  cv_.notify_all();
}

size_t TVaHandOvers::unfinished() {
  std::lock_guard l(m_);
  return open_.size();
}

TVaMainLoop::TVaMainLoop() : main_(std::this_thread::get_id()) {}

void TVaMainLoop::runSync(const TVaSyncTokenPtr& token, std::function<void()> step) {
  if (!token || !token->valid()) return;
  if (isMainThread()) {  // already on the main thread: a queued step would wait for itself
    step();
    return;
  }
  // A step queued after cancel() would wait for a loop that nobody pumps any more: submit
  // decides under the lock cancel takes.
  const auto r = handOvers_.submit(token, std::move(step));
  if (!r) return;
  {
    std::lock_guard l(m_);
    queue_.push_back(r);
  }
  cv_.notify_all();
  handOvers_.wait(r);
}

void TVaMainLoop::cancel(const TVaSyncTokenPtr& token) { handOvers_.cancel(token); }

int TVaMainLoop::processPending() {
  std::deque<TVaHandOvers::RequestPtr> batch;
  {
    std::lock_guard l(m_);
    batch.swap(queue_);
  }
  for (auto& r : batch) {
    try {
      handOvers_.run(r);
    } catch (...) {
      // Steps report their own errors; a stray one must not stop the loop.
    }
  }
  return static_cast<int>(batch.size());
}

bool TVaMainLoop::runUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    processPending();
    if (pred()) return true;
    std::unique_lock l(m_);
    if (std::chrono::steady_clock::now() >= deadline) return pred();
    // Wake for new requests; look at the condition at least every few milliseconds because it
    // may depend on other threads.
    cv_.wait_until(l, std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(5)),
                   [&] { return !queue_.empty(); });
  }
}

void TVaMainLoop::runFor(std::chrono::milliseconds time) {
  runUntil([] { return false; }, time);
}

size_t TVaMainLoop::pending() { return handOvers_.unfinished(); }

}  // namespace ostrel::serial
