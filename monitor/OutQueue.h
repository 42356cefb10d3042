#pragma once
// The messages of one panel that the broker has not taken yet, bounded: when full, the oldest
// waiting message is dropped and counted. A retained message (a state) replaces the waiting one
// of its topic, since only the newest state matters; events and read-outs all stay in order.
#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace ostrel::monitor {

struct Message {
  std::string topic, payload;
  bool retain = false;
};

class OutQueue {
 public:
  explicit OutQueue(size_t limit) : limit_(limit) {}

  // held: messages handed to the broker and not yet confirmed, which count against the limit.
  void push(Message m, size_t held = 0);
  std::optional<Message> pop();
  // Messages that were handed to the broker but not confirmed go back before the waiting ones,
  // in their order (a state that a newer waiting one replaces is left out).
  void putBack(std::vector<Message> unconfirmed);
  size_t size() const { return waiting_.size(); }

  // The messages dropped since the last call.
  unsigned long long takeDropped();

 private:
  bool replaceState(const Message& m);
  size_t limit_;
  std::deque<Message> waiting_;
  unsigned long long dropped_ = 0;
};

}  // namespace ostrel::monitor
