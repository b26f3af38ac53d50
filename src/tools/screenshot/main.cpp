// sonvetta-screenshot FILE.png: saves what the screen shows where Sonvetta's
// status bar stands: its top-right corner, 200 x 22 points (one status item).
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

int main(int argc, char* argv[]) {
  QGuiApplication application(argc, argv);
  const QStringList arguments = application.arguments();
  if (arguments.size() != 2) {
    std::fprintf(stderr, "usage: sonvetta-screenshot FILE.png\n");
    return 2;
  }
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) {
    std::fprintf(stderr, "sonvetta-screenshot: no screen\n");
    return 1;
  }
  const QRect area = screen->geometry();
  const int width = 200;
  const int height = 22;
  const QPixmap shot = screen->grabWindow(0, area.right() + 1 - width, area.top(), width, height);
  if (!shot.save(arguments.at(1))) {
    std::fprintf(stderr, "sonvetta-screenshot: cannot write %s\n", qPrintable(arguments.at(1)));
    return 1;
  }
  return 0;
}
