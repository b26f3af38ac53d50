#include "platform/statusbar/x11/cover_watch.h"

#include <xcb/xcb.h>

#include <QDBusConnection>
#include <algorithm>

#include "platform/statusbar/x11/x11_lookups.h"
#include "platform/statusbar/x11/x11_presentation_surface.h"

namespace platform {

bool hiddenByFullScreen(const QRect& strip, const QRect& window, bool fullScreen) {
  return fullScreen && !strip.isEmpty() && window.contains(strip);
}

CoverWatch::CoverWatch(xcb_connection_t* connection, std::uint32_t window, std::function<void(bool hidden)> changed)
    : connection_(connection),
      window_(window),
      root_(rootWindow(connection)),
      activeWindowAtom_(internAtom(connection, "_NET_ACTIVE_WINDOW")),
      stateAtom_(internAtom(connection, "_NET_WM_STATE")),
      changed_(std::move(changed)),
      screenLock_(QDBusConnection::sessionBus(), QDBusConnection::systemBus()) {
  connect(&screenLock_, &ScreenLock::lockedChanged, this, &CoverWatch::update);
  update();
}

void CoverWatch::stripMoved(const QRect& strip) {
  strip_ = strip;
  update();
}

void CoverWatch::handle(const xcb_generic_event_t& event) {
  const std::uint8_t type = event.response_type & 0x7f;
  if (type == XCB_PROPERTY_NOTIFY) {
    const auto& change = reinterpret_cast<const xcb_property_notify_event_t&>(event);
    if ((change.window == root_ && change.atom == activeWindowAtom_) ||
        (change.window == active_ && change.atom == stateAtom_)) {
      update();
    }
  } else if (type == XCB_CONFIGURE_NOTIFY && reinterpret_cast<const xcb_configure_notify_event_t&>(event).window == active_) {
    update();
  }
}

void CoverWatch::update() {
  const std::vector<std::uint32_t> active = windowProperty(connection_, root_, activeWindowAtom_);
  const xcb_window_t window = active.empty() ? XCB_NONE : active.front();
  // The strip's own window keeps the toolkit's events.
  if (window != active_ && window != XCB_NONE && window != window_) {
    // Heard from when it goes full screen, or leaves it, or moves.
    const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection_, window, XCB_CW_EVENT_MASK, &events);
  }
  active_ = window;
  const std::vector<std::uint32_t> state =
      window == XCB_NONE ? std::vector<std::uint32_t>() : windowProperty(connection_, window, stateAtom_);
  const bool fullScreen = std::ranges::find(state, internAtom(connection_, "_NET_WM_STATE_FULLSCREEN")) != state.end();
  const bool hidden = screenLock_.locked() ||
                      (window != XCB_NONE && hiddenByFullScreen(strip_, windowGeometry(connection_, window, root_),
                                                                fullScreen));
  if (hidden == hidden_) return;
  hidden_ = hidden;
  setWindowProperty(connection_, window_, hiddenProperty, XCB_ATOM_CARDINAL, {hidden ? 1u : 0u});
  xcb_flush(connection_);
  changed_(hidden);
}

}  // namespace platform
