#pragma once

#include <QRect>
#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace platform {

// A window's reserved band along the top of the root window, in device
// pixels: rows [0, bottom) of columns [left, right].
struct TopReservation {
  int bottom;
  int left;
  int right;
};

// Where the bar's top edge goes on `screen` (root coordinates): below the
// work area's top that the window manager reports, unless that is where the
// bar's own reservation ends, and below every other window's reservation over
// the screen's columns; at the screen's top when nothing is reserved there.
int dockTop(const QRect& screen, int workAreaTop, std::optional<int> ownReservationBottom,
            std::span<const TopReservation> others);

// The reservation of a bar at `geometry` (root coordinates), as
// _NET_WM_STRUT_PARTIAL gives it: the band from the root window's top down
// to the bar's bottom, over the bar's columns.
std::array<std::uint32_t, 12> topStrutFor(const QRect& geometry);

}  // namespace platform
