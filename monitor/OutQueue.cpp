#include "monitor/OutQueue.h"

#include <algorithm>

namespace ostrel::monitor {

bool OutQueue::replaceState(const Message& m) {
  if (!m.retain) return false;
  for (auto& w : waiting_) {
    if (w.retain && w.topic == m.topic) {
      w.payload = m.payload;
      return true;
    }
  }
  return false;
}

void OutQueue::push(Message m, size_t held) {
  if (replaceState(m)) return;
  while (!waiting_.empty() && waiting_.size() + held >= limit_) {
    waiting_.pop_front();
    ++dropped_;
  }
  waiting_.push_back(std::move(m));
}

std::optional<Message> OutQueue::pop() {
  if (waiting_.empty()) return std::nullopt;
  Message m = std::move(waiting_.front());
  waiting_.pop_front();
  return m;
}

void OutQueue::putBack(std::vector<Message> unconfirmed) {
  for (auto it = unconfirmed.rbegin(); it != unconfirmed.rend(); ++it) {
    const bool replaced = it->retain && std::any_of(waiting_.begin(), waiting_.end(),
                                                    [&](const Message& w) { return w.retain && w.topic == it->topic; });
    if (!replaced) waiting_.push_front(std::move(*it));
  }
}

unsigned long long OutQueue::takeDropped() {
  const unsigned long long n = dropped_;
  dropped_ = 0;
  return n;
}

}  // namespace ostrel::monitor
