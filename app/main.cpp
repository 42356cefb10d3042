// Program entry: the application titled "Ostrel" and its one main window.
#include <QTimer>
#include <chrono>
#include <cstdlib>

#include "Application.h"
#include "TForm1.h"
#include "serial/VaCommThreads.h"

int main(int argc, char** argv) {
  ostrel::Application app(argc, argv);
  int code = 0;
  {
    ostrel::TForm1 window;
    window.show();
    // OSTREL_QUIT_AFTER_SHOW=1 closes the window once it is shown (start-up measurements).
    if (const char* q = std::getenv("OSTREL_QUIT_AFTER_SHOW"); q && *q == '1')
      QTimer::singleShot(0, &window, [&window] { window.close(); });
    code = app.exec();
  }
  // The window closed its ports on the way out; their worker threads end moments later and
  // must be gone before the application object they hand their steps to.
  ostrel::serial::WaitForCommThreads(std::chrono::seconds(5));
  return code;
}
