#pragma once
// The program's application object: an error that no handler catches is
// shown in a message box with its text, and the program goes on.
#include <QApplication>

namespace ostrel {

class Application : public QApplication {
 public:
  Application(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace ostrel
