#pragma once

#include <QRect>
#include <QSize>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/statusbar/screen_edge.h"

namespace platform {

// A window's reserved band along one edge of the root window, in device
// pixels, as its strut gives it: `depth` rows in from that edge, over
// columns [left, right].
struct EdgeReservation {
  ScreenEdge edge;
  int depth;
  int left;
  int right;
};

// A band reserved along the right edge of the root window, in device pixels:
// `depth` columns in from that edge, over rows [top, bottom]. A vertical
// panel's.
struct SideReservation {
  int depth;
  int top;
  int bottom;
};

// What a window that reserves bands asks for, as the window manager lists it.
struct PanelWindow {
  // _NET_WM_STRUT_PARTIAL, or _NET_WM_STRUT widened to it (over the whole
  // length of each edge).
  std::array<std::uint32_t, 12> strut;
  QRect window;  // where it stands on the root window; null where unknown
  bool translucent = false;  // drawn with an alpha channel, over what is behind it
  bool holdsTray = false;    // the system tray stands in it
  std::uint32_t id = 0;      // its X window
};

// The bands that panels take along the top and the bottom, and along the right.
struct PanelBands {
  std::vector<EdgeReservation> edges;
  std::vector<SideReservation> right;
  // The panel that holds the tray stands along a side, reserving no band
  // along the top or the bottom.
  bool verticalTray = false;
};

// The bands `panels` take. A floating panel (Plasma 6) is one whose window
// is taller than the band it reserves, standing off the edge by its margin:
// its band then reaches to the window's far side, so that nothing stands
// over any part of it.
PanelBands bandsOf(std::span<const PanelWindow> panels, QSize root);

// The translucent panel that a bar at `strip`, standing along `edge`,
// stands beside, whose pixels may show what is behind it rather than its
// own colour; none where it stands beside none.
const PanelWindow* translucentPanelBeside(ScreenEdge edge, const QRect& strip, std::span<const PanelWindow> panels,
                                          QSize root);

// How far from the right edge of `screen` a bar keeps, so as to stand
// beside, never over, the vertical panels along the right of it.
int rightInset(const QRect& screen, QSize root, std::span<const SideReservation> reservations);

// The depth of what the desktop itself keeps along one edge outside every
// window's strut (gnome-shell's top bar and Cinnamon's panel are no
// windows), learnt from the work area the window manager reports, its
// depth from that edge. That work area counts the bar's own strut too, so
// one that ends exactly where one of the bar's own reservations along that
// edge does (the one in force, or the one before it, which the window
// manager may not have let go yet) says nothing new: what was learnt before
// stands, and the bar never chases the change its own strut causes. Nor does
// one short of the strut in force, which the window manager has not counted
// yet (while it starts, or is replaced), or no work area at all. Where other
// windows' struts, reaching `othersDepth` over the screen, explain the work
// area, the desktop keeps nothing of its own there. A reservation of 0
// stands for an edge where the bar reserves nothing.
int desktopReservationDepth(int previous, std::optional<int> workAreaDepth, std::span<const int> ownReservationDepths,
                            int othersDepth);

// Of `screens`, the one whose top-left corner is the root window's origin,
// where the display names no primary screen.
std::optional<std::size_t> screenAtOrigin(std::span<const QRect> screens);

// The depth of the screen's own edge from the same edge of the root window.
int screenDepth(ScreenEdge edge, const QRect& screen, QSize root);

// The deepest of `reservations` along `edge` over the columns of `screen`;
// the screen's own edge when none reaches beyond it.
int reservationsDepth(ScreenEdge edge, const QRect& screen, QSize root, std::span<const EdgeReservation> reservations);

// The work area over `screen`: of the per-monitor work areas (_GTK_WORKAREAS_D0)
// the first that overlaps the screen, else the work area of the whole
// desktop; none when neither is known.
std::optional<QRect> workAreaOver(const QRect& screen, std::span<const QRect> monitorWorkAreas,
                                  std::optional<QRect> desktopWorkArea);

// How deep `area` leaves the root window's `edge`.
int depthOf(ScreenEdge edge, const QRect& area, QSize root);

// The edge the bar stands at on `screen`: beside what is reserved along its
// edges (`edgeBeside`), and at the top where the tray's panel is a vertical
// one (`verticalTray`), beside which the top of the free area is nearest.
ScreenEdge dockEdge(const QRect& screen, QSize root, EdgeDepths reserved, bool verticalTray = false);

// Where a bar of `size` stands on `screen` (root coordinates): at its right
// end, `rightInset` in from it, right below what is reserved along the top,
// or right above what is reserved along the bottom where that is its edge;
// always on the screen.
QRect dockGeometry(const QRect& screen, QSize root, EdgeDepths reserved, QSize size, int rightInset = 0,
                   bool verticalTray = false);

// The reservation of a bar at `geometry` along `edge`, as
// _NET_WM_STRUT_PARTIAL gives it: measured from that edge of the root window
// to the far side of the bar, over the bar's columns.
std::array<std::uint32_t, 12> strutFor(ScreenEdge edge, const QRect& geometry, QSize root);

}  // namespace platform
