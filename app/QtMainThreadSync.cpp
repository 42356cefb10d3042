#include "QtMainThreadSync.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace ostrel {

void QtMainThreadSync::runSync(const serial::TVaSyncTokenPtr& token, std::function<void()> step) {
  QCoreApplication* app = QCoreApplication::instance();
  // Without an application object there is no main thread to run the step on: it is dropped
  // (the ports' threads are waited for before the application object goes).
  if (!app) return;
  if (QThread::currentThread() == app->thread()) {
    if (token && token->valid()) step();
    return;
  }
  const auto request = handOvers_->submit(token, std::move(step));
  if (!request) return;
  QMetaObject::invokeMethod(
      app, [handOvers = handOvers_, request] { handOvers->run(request); }, Qt::QueuedConnection);
  handOvers_->wait(request);
}

void QtMainThreadSync::cancel(const serial::TVaSyncTokenPtr& token) { handOvers_->cancel(token); }

}  // namespace ostrel
