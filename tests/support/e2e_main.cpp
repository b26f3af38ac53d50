// Entry point of the end-to-end tests: they wait on Qt's event loop, for
// D-Bus and for the programs they start, and some lay out text, which takes
// the toolkit's fonts.
#include <QGuiApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  // This process shows nothing; the programs it starts get the platform it
  // was given.
  const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  if (platform.isNull()) {
    qunsetenv("QT_QPA_PLATFORM");
  } else {
    qputenv("QT_QPA_PLATFORM", platform);
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
