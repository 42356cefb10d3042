#pragma once
// A device call in progress for as long as it lives: the device's close() waits until every
// one has ended, and none can start after it. Each device counts its calls (enter, leave)
// under the lock its close takes.

namespace ostrel::serial {

template <class Device>
class TVaCallInProgress {
 public:
  explicit TVaCallInProgress(Device& d) : d_(d), counted_(d.enter()) {}
  ~TVaCallInProgress() {
    if (counted_) d_.leave();
  }
  TVaCallInProgress(const TVaCallInProgress&) = delete;
  TVaCallInProgress& operator=(const TVaCallInProgress&) = delete;
  // False when the device is closed already.
  explicit operator bool() const { return counted_; }

 private:
  Device& d_;
  const bool counted_;
};

}  // namespace ostrel::serial
