#pragma once

#include <xcb/xcb.h>

#include <QObject>
#include <QRect>
#include <cstdint>
#include <functional>

#include "platform/statusbar/x11/screen_lock.h"

namespace platform {

// Whether the active window, standing at `window`, hides a strip at
// `strip`: it does when it is full screen over the whole strip.
bool hiddenByFullScreen(const QRect& strip, const QRect& window, bool fullScreen);

// What hides the strip without X saying so under a compositing window
// manager, which reports no window as covered: the desktop's locker, or the
// active window full screen over the strip. Written, for the compositor
// thread, to the strip window's property `hiddenProperty`.
class CoverWatch final : public QObject {
 public:
  // Listens on the toolkit's `connection`, whose root window's properties
  // are heard already; `changed` hears whether the strip is hidden now.
  CoverWatch(xcb_connection_t* connection, std::uint32_t window, std::function<void(bool hidden)> changed);

  // Takes in `event`, which came through the toolkit's connection.
  void handle(const xcb_generic_event_t& event);

  // The strip stands at `strip` now, in device pixels.
  void stripMoved(const QRect& strip);

 private:
  void update();

  xcb_connection_t* connection_;
  std::uint32_t window_;
  std::uint32_t root_;
  std::uint32_t activeWindowAtom_;
  std::uint32_t stateAtom_;
  std::uint32_t active_ = 0;  // the active window, heard from; none yet
  std::function<void(bool hidden)> changed_;
  QRect strip_;
  bool hidden_ = false;
  ScreenLock screenLock_;
};

}  // namespace platform
