#pragma once
// Base classes of the serial component: settings objects that notify their owner, the
// component base, and the component's one error type.
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

namespace ostrel::serial {

class EVaCommError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Raised when a settings object is copied from an object of another class.
class EVaConvertError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// A settings object with an update counter and a change notification.
class TVaPersistent {
 public:
  virtual ~TVaPersistent() = default;
  virtual const char* ClassName() const = 0;

  void BeginUpdate() { ++updateCount_; }
  void EndUpdate() {
    if (updateCount_ > 0) --updateCount_;
    Changed();
  }
  int32_t UpdateCount() const { return updateCount_; }

  // Copies every value from `source` when it is of the same class, with one notification.
  virtual void Assign(const TVaPersistent& source);

  std::function<void(TVaPersistent* Sender)> OnChange;

 protected:
  TVaPersistent() = default;
  TVaPersistent(const TVaPersistent&) = default;
  TVaPersistent& operator=(const TVaPersistent&) = default;
  void Changed() {
    if (updateCount_ == 0 && OnChange) OnChange(this);
  }
  [[noreturn]] void AssignError(const TVaPersistent& source) const;

 private:
  int32_t updateCount_ = 0;
};

// Base of the port component: an owner, a name and a tag, and the step that runs once the
// stored settings have been loaded.
class TVaComponent {
 public:
  explicit TVaComponent(void* owner = nullptr) : owner_(owner) {}
  virtual ~TVaComponent() = default;
  TVaComponent(const TVaComponent&) = delete;
  TVaComponent& operator=(const TVaComponent&) = delete;

  void* Owner() const { return owner_; }
  std::string Name;
  intptr_t Tag = 0;
  virtual void Loaded() {}

 private:
  void* owner_;
};

}  // namespace ostrel::serial
