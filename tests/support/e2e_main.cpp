// Entry point of the end-to-end tests: they wait on Qt's event loop, for
// D-Bus and for the programs they start.
#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
