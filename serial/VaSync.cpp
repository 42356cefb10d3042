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

TVaMainLoop::TVaMainLoop() : main_(std::this_thread::get_id()) {}

void TVaMainLoop::runSync(const TVaSyncTokenPtr& token, std::function<void()> step) {
  if (!token || !token->valid()) return;
  if (isMainThread()) {  // already on the main thread: a queued step would wait for itself
    step();
    return;
  }
  auto r = std::make_shared<Request>();
  r->token = token;
  r->step = std::move(step);
  std::unique_lock l(m_);
  // Checked again under the lock: cancel() takes it after invalidating the token, so a step is
  // either queued before cancel() looks at the queue, or sees the token already invalid. A step
  // queued after cancel() would wait for a loop that nobody pumps any more.
  if (!token->valid()) return;
  queue_.push_back(r);
  cv_.notify_all();
  cv_.wait(l, [&] { return r->done; });
}

void TVaMainLoop::cancel(const TVaSyncTokenPtr& token) {
  std::lock_guard l(m_);
  for (auto it = queue_.begin(); it != queue_.end();) {
    if ((*it)->token == token) {
      (*it)->done = true;
      it = queue_.erase(it);
    } else {
      ++it;
    }
  }
  cv_.notify_all();
}

int TVaMainLoop::processPending() {
  std::deque<std::shared_ptr<Request>> batch;
  {
    std::lock_guard l(m_);
    batch.swap(queue_);
  }
  for (auto& r : batch) {
    if (r->token->valid()) {
      try {
        r->step();
      } catch (...) {
        // Steps report their own errors; a stray one must not stop the loop.
      }
    }
    std::lock_guard l(m_);
    r->done = true;
    r->step = nullptr;
    cv_.notify_all();
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

size_t TVaMainLoop::pending() {
  std::lock_guard l(m_);
  return queue_.size();
}

}  // namespace ostrel::serial
