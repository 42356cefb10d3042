#pragma once
// A timer with the semantics the window's handlers rely on:
//  - enabling an enabled timer changes nothing (QTimer::start() would restart it);
//  - a new interval restarts a running countdown, the same interval changes nothing;
//  - a disabled timer (or one with interval 0) never fires.
#include <QObject>
#include <QTimer>

namespace ostrel {

class TTimer : public QObject {
  Q_OBJECT
 public:
  explicit TTimer(const QString& name, int interval, bool precise, QObject* parent = nullptr);

  bool Enabled() const { return enabled_; }
  void setEnabled(bool on);
  int Interval() const { return interval_; }
  void setInterval(int ms);

  // True while a countdown runs (enabled with a positive interval).
  bool isCounting() const { return timer_.isActive(); }
  // Milliseconds left of the running countdown, -1 when none runs.
  int remainingTime() const { return timer_.remainingTime(); }

 signals:
  void Timer();  // one tick, delivered on the event loop

 private:
  void apply();
  QTimer timer_;
  bool enabled_ = false;
  int interval_ = 1000;
};

}  // namespace ostrel
