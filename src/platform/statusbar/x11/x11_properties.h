#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <string_view>
#include <vector>

namespace platform {

// The atom X knows `name` by; none where the server does not answer.
xcb_atom_t internAtom(xcb_connection_t* connection, std::string_view name);

// The 32-bit items of `window`'s property; empty when it has none.
std::vector<std::uint32_t> windowProperty(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property);
std::vector<std::uint32_t> windowProperty(xcb_connection_t* connection, xcb_window_t window, std::string_view name);

void setWindowProperty(xcb_connection_t* connection, xcb_window_t window, std::string_view name, xcb_atom_t type,
                       const std::vector<std::uint32_t>& items);

}  // namespace platform
