#pragma once

#include <xcb/xcb.h>

#include <QImage>
#include <QRect>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace sonvetta::testdata {

// A connection of the test's own, to read what the window manager sees.
class X11Display {
 public:
  // The display that `name` names; the one DISPLAY names when null.
  explicit X11Display(const char* name = nullptr) : connection_(xcb_connect(name, nullptr)) {
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
  }
  ~X11Display() { xcb_disconnect(connection_); }
  X11Display(const X11Display&) = delete;
  X11Display& operator=(const X11Display&) = delete;

  bool connected() const { return xcb_connection_has_error(connection_) == 0; }

  xcb_window_t root() const { return root_; }

  xcb_atom_t atom(const std::string& name) const {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection_, xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(name.size()), name.c_str()), nullptr);
    const xcb_atom_t found = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return found;
  }

  std::vector<std::uint32_t> numbers(xcb_window_t window, const std::string& name) const {
    std::vector<std::uint32_t> items;
    xcb_get_property_reply_t* reply = propertyReply(window, atom(name));
    if (reply != nullptr && reply->format == 32) {
      const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
      items.assign(values, values + xcb_get_property_value_length(reply) / 4);
    }
    std::free(reply);
    return items;
  }

  std::string text(xcb_window_t window, xcb_atom_t property) const {
    xcb_get_property_reply_t* reply = propertyReply(window, property);
    std::string value;
    if (reply != nullptr) {
      value.assign(static_cast<const char*>(xcb_get_property_value(reply)),
                   static_cast<std::size_t>(xcb_get_property_value_length(reply)));
    }
    std::free(reply);
    return value;
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
    if (parent == XCB_NONE) parent = root_;
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(connection_, xcb_query_tree(connection_, parent), nullptr);
    if (tree == nullptr) return XCB_NONE;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    std::vector<xcb_window_t> below(children, children + xcb_query_tree_children_length(tree));
    std::free(tree);
    for (const xcb_window_t child : below) {
      if (text(child, atom("_NET_WM_NAME")) == title || text(child, XCB_ATOM_WM_NAME) == title) return child;
    }
    for (const xcb_window_t child : below) {
      if (const xcb_window_t found = windowNamed(title, child); found != XCB_NONE) return found;
    }
    return XCB_NONE;
  }

  // Where `window` stands on the root window.
  QRect geometry(xcb_window_t window) const {
    xcb_get_geometry_reply_t* size = xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr);
    xcb_translate_coordinates_reply_t* position = xcb_translate_coordinates_reply(
        connection_, xcb_translate_coordinates(connection_, window, root_, 0, 0), nullptr);
    QRect rect;
    if (size != nullptr && position != nullptr) rect = QRect(position->dst_x, position->dst_y, size->width, size->height);
    std::free(size);
    std::free(position);
    return rect;
  }

  bool isViewable(xcb_window_t window) const {
    xcb_get_window_attributes_reply_t* attributes =
        xcb_get_window_attributes_reply(connection_, xcb_get_window_attributes(connection_, window), nullptr);
    const bool viewable = attributes != nullptr && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(attributes);
    return viewable;
  }

  // What `window` shows in `area`, as opaque pixels; null where the server
  // does not say.
  QImage image(xcb_window_t window, const QRect& area) const {
    xcb_get_image_reply_t* reply = xcb_get_image_reply(
        connection_,
        xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, window, static_cast<std::int16_t>(area.x()),
                      static_cast<std::int16_t>(area.y()), static_cast<std::uint16_t>(area.width()),
                      static_cast<std::uint16_t>(area.height()), ~0u),
        nullptr);
    if (reply == nullptr) return {};
    QImage pixels(area.size(), QImage::Format_RGB32);
    const auto* data = reinterpret_cast<const std::uint32_t*>(xcb_get_image_data(reply));
    for (int y = 0; y < area.height(); ++y) {
      for (int x = 0; x < area.width(); ++x) pixels.setPixel(x, y, data[y * area.width() + x] | 0xff000000u);
    }
    std::free(reply);
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
  xcb_get_property_reply_t* propertyReply(xcb_window_t window, xcb_atom_t property) const {
    return xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 4096), nullptr);
  }

  xcb_connection_t* connection_;
  xcb_window_t root_;
};

}  // namespace sonvetta::testdata
