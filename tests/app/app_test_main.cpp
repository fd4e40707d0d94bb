// Test entry point with a QApplication, so that the real windows can be
// created and driven. The offscreen platform is the default: ctest sets it,
// and so must a run without a display (ctest's test discovery runs the
// executable without that environment).
#include <gtest/gtest.h>

#include <QApplication>
#include <clocale>

int main(int argc, char **argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);  // tests close windows and go on
  std::setlocale(LC_NUMERIC, "C");                 // as the program does
  return RUN_ALL_TESTS();
}
