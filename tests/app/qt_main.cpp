// One QApplication for all window tests.
#include <gtest/gtest.h>

#include "Application.h"
#include "serial/VaCommThreads.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  ostrel::Application app(argc, argv);  // with its report of uncaught errors
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  // Ports closed by the tests end their worker threads before the application object goes.
  ostrel::serial::WaitForCommThreads(std::chrono::seconds(5));
  return result;
}
