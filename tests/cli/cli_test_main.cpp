// Test entry point with a QApplication: the cases that compare the program's
// texts with the window's list drive the real window on the offscreen
// platform (the program itself runs without any display).
#include <gtest/gtest.h>

#include <QApplication>
#include <clocale>

int main(int argc, char **argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  std::setlocale(LC_NUMERIC, "C");  // as the window does
  return RUN_ALL_TESTS();
}
