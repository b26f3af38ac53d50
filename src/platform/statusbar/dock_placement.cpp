#include "platform/statusbar/dock_placement.h"

#include <algorithm>

namespace platform {

int dockTop(const QRect& screen, int workAreaTop, std::optional<int> ownReservationBottom,
            std::span<const TopReservation> others) {
  int top = screen.top();
  // The work area leaves out every reservation, the bar's own included; one
  // that ends where the bar's own does says nothing about the others.
  if (workAreaTop != ownReservationBottom) top = std::max(top, workAreaTop);
  for (const TopReservation& other : others) {
    if (other.left <= screen.right() && other.right >= screen.left()) top = std::max(top, other.bottom);
  }
  // A panel can reserve no more than the screen's height.
  return std::min(top, screen.bottom());
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
