#include "platform/statusbar/x11/x11_lookups.h"

namespace platform {

namespace {

XcbReply<xcb_get_property_reply_t> propertyReply(xcb_connection_t* connection, xcb_window_t window,
                                                 xcb_atom_t property) {
  return XcbReply<xcb_get_property_reply_t>{xcb_get_property_reply(
      connection, xcb_get_property(connection, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 4096), nullptr)};
}

}  // namespace

xcb_window_t rootWindow(xcb_connection_t* connection) {
  return xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
}

xcb_atom_t internAtom(xcb_connection_t* connection, std::string_view name) {
  const XcbReply<xcb_intern_atom_reply_t> reply{xcb_intern_atom_reply(
      connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.data()), nullptr)};
  return reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

std::vector<std::uint32_t> windowProperty(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property) {
  const XcbReply<xcb_get_property_reply_t> reply = propertyReply(connection, window, property);
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

std::string windowText(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property) {
  const XcbReply<xcb_get_property_reply_t> reply = propertyReply(connection, window, property);
  if (reply == nullptr) return {};
  return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                     static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
}

void setWindowProperty(xcb_connection_t* connection, xcb_window_t window, std::string_view name, xcb_atom_t type,
                       const std::vector<std::uint32_t>& items) {
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, internAtom(connection, name), type, 32,
                      static_cast<std::uint32_t>(items.size()), items.data());
}

xcb_window_t selectionOwner(xcb_connection_t* connection, std::string_view name) {
  const XcbReply<xcb_get_selection_owner_reply_t> owner{xcb_get_selection_owner_reply(
      connection, xcb_get_selection_owner(connection, internAtom(connection, name)), nullptr)};
  return owner != nullptr ? owner->owner : xcb_window_t{XCB_NONE};
}

xcb_window_t topLevelOf(xcb_connection_t* connection, xcb_window_t window, xcb_window_t root) {
  while (window != XCB_NONE) {
    const XcbReply<xcb_query_tree_reply_t> tree{
        xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr)};
    if (tree == nullptr) return XCB_NONE;
    if (tree->parent == root) return window;
    window = tree->parent;
  }
  return XCB_NONE;
}

std::vector<xcb_window_t> childWindows(xcb_connection_t* connection, xcb_window_t window) {
  const XcbReply<xcb_query_tree_reply_t> tree{
      xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr)};
  if (tree == nullptr) return {};
  const xcb_window_t* children = xcb_query_tree_children(tree.get());
  return std::vector<xcb_window_t>(children, children + xcb_query_tree_children_length(tree.get()));
}

int windowDepth(xcb_connection_t* connection, xcb_window_t window) {
  const XcbReply<xcb_get_geometry_reply_t> geometry{
      xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr)};
  return geometry != nullptr ? geometry->depth : 0;
}

QRect windowGeometry(xcb_connection_t* connection, xcb_window_t window, xcb_window_t root) {
  const XcbReply<xcb_get_geometry_reply_t> size{
      xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr)};
  const XcbReply<xcb_translate_coordinates_reply_t> origin{
      xcb_translate_coordinates_reply(connection, xcb_translate_coordinates(connection, window, root, 0, 0), nullptr)};
  return size != nullptr && origin != nullptr ? QRect(origin->dst_x, origin->dst_y, size->width, size->height)
                                              : QRect();
}

}  // namespace platform
