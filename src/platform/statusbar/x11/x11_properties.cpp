#include "platform/statusbar/x11/x11_properties.h"

#include "platform/statusbar/x11/xcb_reply.h"

namespace platform {

xcb_atom_t internAtom(xcb_connection_t* connection, std::string_view name) {
  const XcbReply<xcb_intern_atom_reply_t> reply{xcb_intern_atom_reply(
      connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.data()), nullptr)};
  return reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

std::vector<std::uint32_t> windowProperty(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property) {
  const XcbReply<xcb_get_property_reply_t> reply{xcb_get_property_reply(
      connection, xcb_get_property(connection, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 4096), nullptr)};
  std::vector<std::uint32_t> items;
  if (reply != nullptr && reply->format == 32) {
    const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    items.assign(values, values + xcb_get_property_value_length(reply.get()) / 4);
  }
  return items;
}

std::vector<std::uint32_t> windowProperty(xcb_connection_t* connection, xcb_window_t window, std::string_view name) {
  return windowProperty(connection, window, internAtom(connection, name));
}

void setWindowProperty(xcb_connection_t* connection, xcb_window_t window, std::string_view name, xcb_atom_t type,
                       const std::vector<std::uint32_t>& items) {
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, internAtom(connection, name), type, 32,
                      static_cast<std::uint32_t>(items.size()), items.data());
}

}  // namespace platform
