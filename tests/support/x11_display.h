#pragma once

#include <xcb/xcb.h>

#include <QImage>
#include <QRect>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/statusbar/x11/x11_lookups.h"

namespace sonvetta::testdata {

// A connection of the test's own, to read what the window manager sees.
class X11Display {
 public:
  // The display that `name` names; the one DISPLAY names when null.
  explicit X11Display(const char* name = nullptr) : connection_(xcb_connect(name, nullptr)) {
    root_ = platform::rootWindow(connection_);
  }
  ~X11Display() { xcb_disconnect(connection_); }
  X11Display(const X11Display&) = delete;
  X11Display& operator=(const X11Display&) = delete;

  bool connected() const { return xcb_connection_has_error(connection_) == 0; }

  xcb_window_t root() const { return root_; }

  xcb_atom_t atom(const std::string& name) const { return platform::internAtom(connection_, name); }

  std::vector<std::uint32_t> numbers(xcb_window_t window, const std::string& name) const {
    return platform::windowProperty(connection_, window, atom(name));
  }

  std::string text(xcb_window_t window, xcb_atom_t property) const {
    return platform::windowText(connection_, window, property);
  }

  // The managed window titled `title`, or none.
  xcb_window_t clientTitled(const std::string& title) const {
    for (const std::uint32_t window : numbers(root_, "_NET_CLIENT_LIST")) {
      if (text(window, atom("_NET_WM_NAME")) == title) return window;
    }
    return XCB_NONE;
  }

  // The window named `title` anywhere in the window tree below `parent` (the
  // root when none), managed or not (i3 lists no docks); none when absent.
  xcb_window_t windowNamed(const std::string& title, xcb_window_t parent = XCB_NONE) const {
    const std::vector<xcb_window_t> below = platform::childWindows(connection_, parent == XCB_NONE ? root_ : parent);
    for (const xcb_window_t child : below) {
      if (text(child, atom("_NET_WM_NAME")) == title || text(child, XCB_ATOM_WM_NAME) == title) return child;
    }
    for (const xcb_window_t child : below) {
      if (const xcb_window_t found = windowNamed(title, child); found != XCB_NONE) return found;
    }
    return XCB_NONE;
  }

  // Where `window` stands on the root window.
  QRect geometry(xcb_window_t window) const { return platform::windowGeometry(connection_, window, root_); }

  bool isViewable(xcb_window_t window) const {
    const platform::XcbReply<xcb_get_window_attributes_reply_t> attributes{
        xcb_get_window_attributes_reply(connection_, xcb_get_window_attributes(connection_, window), nullptr)};
    return attributes != nullptr && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
  }

  // What `window` shows in `area`, as opaque pixels; null where the server
  // does not say.
  QImage image(xcb_window_t window, const QRect& area) const {
    const platform::XcbReply<xcb_get_image_reply_t> reply{xcb_get_image_reply(
        connection_,
        xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, window, static_cast<std::int16_t>(area.x()),
                      static_cast<std::int16_t>(area.y()), static_cast<std::uint16_t>(area.width()),
                      static_cast<std::uint16_t>(area.height()), ~0u),
        nullptr)};
    if (reply == nullptr) return {};
    QImage pixels(area.size(), QImage::Format_RGB32);
    const auto* data = reinterpret_cast<const std::uint32_t*>(xcb_get_image_data(reply.get()));
    for (int y = 0; y < area.height(); ++y) {
      for (int x = 0; x < area.width(); ++x) pixels.setPixel(x, y, data[y * area.width() + x] | 0xff000000u);
    }
    return pixels;
  }

  void switchToWorkspace(std::uint32_t workspace) const {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = root_;
    message.type = atom("_NET_CURRENT_DESKTOP");
    message.data.data32[0] = workspace;
    xcb_send_event(connection_, 0, root_,
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(connection_);
  }

  // What maximised windows get on the first workspace; null where the
  // window manager does not say.
  QRect workArea() const {
    const std::vector<std::uint32_t> area = numbers(root_, "_NET_WORKAREA");
    if (area.size() < 4) return {};
    return QRect(static_cast<int>(area[0]), static_cast<int>(area[1]), static_cast<int>(area[2]),
                 static_cast<int>(area[3]));
  }
  int workAreaTop() const { return workArea().isNull() ? -1 : workArea().top(); }

 private:
  xcb_connection_t* connection_;
  xcb_window_t root_;
};

}  // namespace sonvetta::testdata
