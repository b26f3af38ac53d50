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
#include "platform/statusbar/x11/xcb_reply.h"

namespace {

using platform::XcbReply;

bool isStatusBar(xcb_connection_t* connection, xcb_window_t window) {
  const XcbReply<xcb_get_property_reply_t> name{xcb_get_property_reply(
      connection, xcb_get_property(connection, 0, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 64), nullptr)};
  return name != nullptr && QByteArray(static_cast<const char*>(xcb_get_property_value(name.get())),
                                       xcb_get_property_value_length(name.get())) == sonvetta::vocabulary::statusBarTitle;
}

// The top-level windows: those a window manager lists, else the root's children.
std::vector<xcb_window_t> topLevelWindows(xcb_connection_t* connection, xcb_window_t root) {
  std::vector<xcb_window_t> windows;
  const char name[] = "_NET_CLIENT_LIST";
  const XcbReply<xcb_intern_atom_reply_t> atom{
      xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, sizeof name - 1, name), nullptr)};
  if (atom != nullptr && atom->atom != XCB_ATOM_NONE) {
    const XcbReply<xcb_get_property_reply_t> list{xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, root, atom->atom, XCB_ATOM_WINDOW, 0, 4096), nullptr)};
    if (list != nullptr) {
      const auto* items = static_cast<const xcb_window_t*>(xcb_get_property_value(list.get()));
      windows.assign(items, items + xcb_get_property_value_length(list.get()) / 4);
    }
  }
  if (const XcbReply<xcb_query_tree_reply_t> tree{
          xcb_query_tree_reply(connection, xcb_query_tree(connection, root), nullptr)}) {
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    windows.insert(windows.end(), children, children + xcb_query_tree_children_length(tree.get()));
  }
  return windows;
}

// The status bar's place on the screen, in device pixels, found by its title.
std::optional<QRect> statusBarGeometry() {
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  std::optional<QRect> found;
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
  for (const xcb_window_t window : topLevelWindows(connection, root)) {
    if (!isStatusBar(connection, window)) continue;
    const XcbReply<xcb_get_geometry_reply_t> geometry{
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr)};
    const XcbReply<xcb_translate_coordinates_reply_t> position{
        xcb_translate_coordinates_reply(connection, xcb_translate_coordinates(connection, window, root, 0, 0), nullptr)};
    if (geometry != nullptr && position != nullptr) {
      found = QRect(position->dst_x, position->dst_y, geometry->width, geometry->height);
    }
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
