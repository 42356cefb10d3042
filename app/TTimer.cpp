#include "TTimer.h"

namespace ostrel {

TTimer::TTimer(const QString& name, int interval, bool precise, QObject* parent)
    : QObject(parent), interval_(interval < 0 ? 0 : interval) {
  setObjectName(name);
  timer_.setTimerType(precise ? Qt::PreciseTimer : Qt::CoarseTimer);
  connect(&timer_, &QTimer::timeout, this, [this] {
    // A stop from inside another slot of the same turn must win over a tick
    // that was already queued.
    if (enabled_ && interval_ > 0) emit Timer();
  });
}

void TTimer::setEnabled(bool on) {
  if (on == enabled_) return;
  enabled_ = on;
  apply();
}

void TTimer::setInterval(int ms) {
  if (ms < 0) ms = 0;
  if (ms == interval_) return;
  interval_ = ms;
  apply();
}

void TTimer::apply() {
  if (enabled_ && interval_ > 0)
    timer_.start(interval_);  // (re)starts the countdown from now
  else
    timer_.stop();
}

}  // namespace ostrel
