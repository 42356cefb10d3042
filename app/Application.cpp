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
    if (Form1)
      Form1->reportError(e);
    else
      QMessageBox::critical(nullptr, QStringLiteral("Ostrel"), QString::fromUtf8(e.what()));
  }
  return false;
}

}  // namespace ostrel
