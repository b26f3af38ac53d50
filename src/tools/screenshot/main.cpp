// sonvetta-screenshot FILE.png: saves what the screen shows where Sonvetta's
// status bar stands: the window titled "Sonvetta status bar", or the screen's
// top-right corner, 200 x 22 points (one status item), while there is none.
// sonvetta-screenshot --screen FILE.png: saves the whole screen.
#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <optional>
#include <vector>

#include "app/vocabulary.h"
#include "platform/statusbar/x11/x11_lookups.h"

namespace {

// The status bar's place on the screen, in device pixels, found by its
// title among the windows a window manager lists, else the root's children.
std::optional<QRect> statusBarGeometry() {
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  const xcb_window_t root = platform::rootWindow(connection);
  std::vector<xcb_window_t> windows = platform::windowProperty(connection, root, "_NET_CLIENT_LIST");
  const std::vector<xcb_window_t> children = platform::childWindows(connection, root);
  windows.insert(windows.end(), children.begin(), children.end());
  std::optional<QRect> found;
  for (const xcb_window_t window : windows) {
    if (platform::windowText(connection, window, XCB_ATOM_WM_NAME) != sonvetta::vocabulary::statusBarTitle) continue;
    if (const QRect geometry = platform::windowGeometry(connection, window, root); !geometry.isNull()) found = geometry;
    break;
  }
  xcb_disconnect(connection);
  return found;
}

}  // namespace

int main(int argc, char* argv[]) {
  QGuiApplication application(argc, argv);
  QStringList arguments = application.arguments();
  const bool wholeScreen = arguments.removeAll("--screen") > 0;
  if (arguments.size() != 2) {
    std::fprintf(stderr, "usage: sonvetta-screenshot [--screen] FILE.png\n");
    return 2;
  }
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) {
    std::fprintf(stderr, "sonvetta-screenshot: no screen\n");
    return 1;
  }
  const QRect area = screen->geometry();
  QPixmap shot;
  if (wholeScreen) {
    shot = screen->grabWindow(0);
  } else if (const std::optional<QRect> bar = statusBarGeometry()) {
    const double ratio = screen->devicePixelRatio();
    shot = screen->grabWindow(0, static_cast<int>(bar->x() / ratio), static_cast<int>(bar->y() / ratio),
                              static_cast<int>(bar->width() / ratio), static_cast<int>(bar->height() / ratio));
  } else {
    shot = screen->grabWindow(0, area.right() + 1 - 200, area.top(), 200, 22);
  }
  if (!shot.save(arguments.at(1))) {
    std::fprintf(stderr, "sonvetta-screenshot: cannot write %s\n", qPrintable(arguments.at(1)));
    return 1;
  }
  return 0;
}
