#pragma once

#include <xcb/xcb.h>

#include <QRect>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// libxcb hands out every reply and event in memory of malloc's that the
// caller must free; held in one of these, it frees itself on every path.
struct XcbFree {
  void operator()(void* reply) const { std::free(reply); }
};

template <typename Reply>
using XcbReply = std::unique_ptr<Reply, XcbFree>;

// The root window of the display's first screen.
xcb_window_t rootWindow(xcb_connection_t* connection);

// The atom X knows `name` by; none where the server does not answer.
xcb_atom_t internAtom(xcb_connection_t* connection, std::string_view name);

// The 32-bit items of `window`'s property; empty when it has none.
std::vector<std::uint32_t> windowProperty(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property);
std::vector<std::uint32_t> windowProperty(xcb_connection_t* connection, xcb_window_t window, std::string_view name);

// The bytes of `window`'s property as they stand (a name, a class); empty
// when it has none.
std::string windowText(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property);

void setWindowProperty(xcb_connection_t* connection, xcb_window_t window, std::string_view name, xcb_atom_t type,
                       const std::vector<std::uint32_t>& items);

// The window that owns the selection `name`; none where nobody does.
xcb_window_t selectionOwner(xcb_connection_t* connection, std::string_view name);

// The child of `root` that `window` stands in (its top-level window, or the
// frame around it); none where it has gone.
xcb_window_t topLevelOf(xcb_connection_t* connection, xcb_window_t window, xcb_window_t root);

// The children of `window`, bottom first; none where it has gone.
std::vector<xcb_window_t> childWindows(xcb_connection_t* connection, xcb_window_t window);

// The bits a pixel of `window` has: 32 where it has an alpha channel; 0
// where it has gone.
int windowDepth(xcb_connection_t* connection, xcb_window_t window);

// Where `window` stands on `root`, in device pixels; null where it has gone.
QRect windowGeometry(xcb_connection_t* connection, xcb_window_t window, xcb_window_t root);

}  // namespace platform
