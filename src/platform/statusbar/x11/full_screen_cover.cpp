#include "platform/statusbar/x11/full_screen_cover.h"

#include <QGuiApplication>
#include <algorithm>

#include "platform/statusbar/x11/x11_lookups.h"

namespace platform {

bool coversStrip(const ActiveWindow& active, const QRect& strip) {
  return active.fullScreen && !active.hidden && !strip.isEmpty() && active.geometry.contains(strip);
}

FullScreenCover::FullScreenCover(xcb_connection_t* connection, xcb_window_t root, xcb_window_t strip)
    : connection_(connection),
      root_(root),
      strip_(strip),
      activeAtom_(internAtom(connection, "_NET_ACTIVE_WINDOW")),
      stateAtom_(internAtom(connection, "_NET_WM_STATE")),
      fullScreenAtom_(internAtom(connection, "_NET_WM_STATE_FULLSCREEN")),
      hiddenAtom_(internAtom(connection, "_NET_WM_STATE_HIDDEN")) {
  qGuiApp->installNativeEventFilter(this);
  check();
}

FullScreenCover::~FullScreenCover() { qGuiApp->removeNativeEventFilter(this); }

void FullScreenCover::check() {
  const std::vector<std::uint32_t> active = windowProperty(connection_, root_, activeAtom_);
  follow(active.empty() ? XCB_NONE : active.front());
  const bool covers = active_ != XCB_NONE && coversStrip(activeWindow(), windowGeometry(connection_, strip_, root_));
  if (covers == covers_) return;
  covers_ = covers;
  emit coversChanged(covers);
}

// The active window's state and place are heard from the window itself.
void FullScreenCover::follow(xcb_window_t active) {
  if (active == active_) return;
  active_ = active;
  if (active == XCB_NONE) return;
  const XcbReply<xcb_get_window_attributes_reply_t> attributes{
      xcb_get_window_attributes_reply(connection_, xcb_get_window_attributes(connection_, active), nullptr)};
  if (attributes == nullptr) return;  // gone already
  // Added to what others (the toolkit, for a window of this program's) hear.
  const std::uint32_t events =
      attributes->your_event_mask | XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
  xcb_change_window_attributes(connection_, active, XCB_CW_EVENT_MASK, &events);
}

ActiveWindow FullScreenCover::activeWindow() const {
  const std::vector<std::uint32_t> state = windowProperty(connection_, active_, stateAtom_);
  const auto has = [&](xcb_atom_t atom) { return std::ranges::find(state, atom) != state.end(); };
  return {windowGeometry(connection_, active_, root_), has(fullScreenAtom_), has(hiddenAtom_)};
}

bool FullScreenCover::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
  if (eventType != "xcb_generic_event_t") return false;
  const auto* event = static_cast<const xcb_generic_event_t*>(message);
  switch (event->response_type & 0x7f) {
    case XCB_PROPERTY_NOTIFY: {
      const auto* change = static_cast<const xcb_property_notify_event_t*>(message);
      if ((change->window == root_ && change->atom == activeAtom_) ||
          (change->window == active_ && change->atom == stateAtom_)) {
        check();
      }
      break;
    }
    case XCB_CONFIGURE_NOTIFY:
      if (static_cast<const xcb_configure_notify_event_t*>(message)->window == active_) check();
      break;
    case XCB_UNMAP_NOTIFY:
      if (static_cast<const xcb_unmap_notify_event_t*>(message)->window == active_) check();
      break;
    case XCB_DESTROY_NOTIFY:
      if (static_cast<const xcb_destroy_notify_event_t*>(message)->window == active_) check();
      break;
  }
  return false;
}

}  // namespace platform
