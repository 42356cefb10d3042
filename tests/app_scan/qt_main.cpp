// One QApplication for all window tests.
#include <gtest/gtest.h>

#include "Application.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  ostrel::Application app(argc, argv);  // with its report of uncaught errors
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
