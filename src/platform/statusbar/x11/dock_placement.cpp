#include "platform/statusbar/dock_placement.h"

#include <algorithm>

namespace platform {

int desktopReservationBottom(int previous, std::optional<int> workAreaTop, std::span<const int> ownReservationBottoms,
                             int othersBottom) {
  if (!workAreaTop || std::ranges::find(ownReservationBottoms, *workAreaTop) != ownReservationBottoms.end()) {
    return previous;
  }
  // Short of the strut in force: a window manager that has not taken the
  // bar on yet, as while it starts or is replaced.
  if (!ownReservationBottoms.empty() && *workAreaTop < ownReservationBottoms.front()) return previous;
  // Other windows' struts explain the work area: the desktop keeps nothing
  // below them of its own.
  if (*workAreaTop <= othersBottom) return 0;
  return *workAreaTop;
}

int reservationsBottom(const QRect& screen, std::span<const TopReservation> reservations) {
  int bottom = screen.top();
  for (const TopReservation& each : reservations) {
    if (each.left <= screen.right() && each.right >= screen.left()) bottom = std::max(bottom, each.bottom);
  }
  return bottom;
}

int dockTop(const QRect& screen, int desktopReservation, std::span<const TopReservation> others) {
  const int top = std::max({screen.top(), desktopReservation, reservationsBottom(screen, others)});
  // A panel can reserve no more than the screen's height.
  return std::min(top, screen.bottom());
}

std::optional<int> workAreaTopOver(const QRect& screen, std::span<const QRect> monitorWorkAreas,
                                   std::optional<QRect> desktopWorkArea) {
  for (const QRect& area : monitorWorkAreas) {
    if (area.intersects(screen)) return area.top();
  }
  if (desktopWorkArea) return desktopWorkArea->top();
  return std::nullopt;
}

std::array<std::uint32_t, 12> topStrutFor(const QRect& geometry) {
  const auto unsignedOf = [](int value) { return static_cast<std::uint32_t>(std::max(value, 0)); };
  std::array<std::uint32_t, 12> strut{};
  strut[2] = unsignedOf(geometry.bottom() + 1);  // top
  strut[8] = unsignedOf(geometry.left());        // top_start_x
  strut[9] = unsignedOf(geometry.right());       // top_end_x
  return strut;
}

}  // namespace platform
