// Program entry: the application titled "Ostrel" and its one main window.
#include <QTimer>
#include <cstdlib>

#include "Application.h"
#include "TForm1.h"

int main(int argc, char** argv) {
  ostrel::Application app(argc, argv);
  ostrel::TForm1 window;
  window.show();
  // OSTREL_QUIT_AFTER_SHOW=1 closes the window once it is shown (start-up measurements).
  if (const char* q = std::getenv("OSTREL_QUIT_AFTER_SHOW"); q && *q == '1')
    QTimer::singleShot(0, &window, [&window] { window.close(); });
  return app.exec();
}
