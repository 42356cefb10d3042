#include "QtMainThreadSync.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace ostrel {

void QtMainThreadSync::runSync(const serial::TVaSyncTokenPtr& token, std::function<void()> step) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || QThread::currentThread() == app->thread()) {
    if (token && token->valid()) step();
    return;
  }
  auto done = std::make_shared<bool>(false);
  auto signal = signal_;
  QMetaObject::invokeMethod(
      app,
      [signal, token, done, step = std::move(step)] {
        // Wakes the worker however the step ends: an exception from a handler
        // goes on to the application's error report.
        struct Finish {
          Signal& s;
          bool& done;
          ~Finish() {
            {
              std::lock_guard l(s.m);
              done = true;
            }
            s.cv.notify_all();
          }
        } finish{*signal, *done};
        if (token && token->valid()) step();
      },
      Qt::QueuedConnection);
  std::unique_lock l(signal->m);
  signal->cv.wait(l, [&] { return *done || !token || !token->valid(); });
}

void QtMainThreadSync::cancel(const serial::TVaSyncTokenPtr&) {
  { std::lock_guard l(signal_->m); }
  signal_->cv.notify_all();
}

}  // namespace ostrel
