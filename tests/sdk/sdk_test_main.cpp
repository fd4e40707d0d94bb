// Test entry point with a QCoreApplication, so that posted events have a
// user-interface thread (this one) to arrive on. No window system is used.
#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char **argv) {
  ::testing::InitGoogleTest(&argc, argv);
  QCoreApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
