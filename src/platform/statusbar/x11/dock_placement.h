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

// The bottom of what the desktop itself keeps along the top outside every
// window's strut (gnome-shell's top bar is no window), learnt from the top of
// the work area the window manager reports. That work area counts the bar's
// own strut too, so one that ends exactly where one of the bar's own
// reservations does (the one in force, or the one before it, which the window
// manager may not have let go yet) says nothing new: what was learnt before
// stands, and the bar never chases the change its own strut causes. Nor does
// one short of the strut in force, which the window manager has not counted
// yet (while it starts, or is replaced), or no work area at all. Where other
// windows' struts, reserving down to `othersBottom` over the screen, explain
// the work area, the desktop keeps nothing of its own.
int desktopReservationBottom(int previous, std::optional<int> workAreaTop, std::span<const int> ownReservationBottoms,
                             int othersBottom);

// The lowest bottom of `reservations` over the columns of `screen`; the
// screen's top when none reaches below it.
int reservationsBottom(const QRect& screen, std::span<const TopReservation> reservations);

// Where the bar's top edge goes on `screen` (root coordinates): below what
// the desktop and the other windows reserve along the top, within the screen.
int dockTop(const QRect& screen, int desktopReservation, std::span<const TopReservation> others);

// The top of the work area over `screen`: of the per-monitor work areas
// (gnome-shell's _GTK_WORKAREAS_D0) the first that overlaps the screen, else
// the work area of the whole desktop; none when neither is known.
std::optional<int> workAreaTopOver(const QRect& screen, std::span<const QRect> monitorWorkAreas,
                                   std::optional<QRect> desktopWorkArea);

// The reservation of a bar at `geometry` (root coordinates), as
// _NET_WM_STRUT_PARTIAL gives it: measured from the root window's top edge
// down to the bar's bottom, over the bar's columns.
std::array<std::uint32_t, 12> topStrutFor(const QRect& geometry);

}  // namespace platform
