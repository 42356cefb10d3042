#include "Application.h"

#include <exception>

#include "TForm1.h"

namespace ostrel {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("Ostrel"));
}

bool Application::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    const QString text = QString::fromUtf8(e.what());
    if (Form1)
      Form1->dialogs().message(QStringLiteral("Ostrel"), text, QMessageBox::Critical, QMessageBox::Ok);
    else
      QMessageBox::critical(nullptr, QStringLiteral("Ostrel"), text);
  }
  return false;
}

}  // namespace ostrel
