#include "platform/statusbar/x11/dock_placement.h"

#include <algorithm>

namespace platform {

namespace {

// Struts past this are no real band (some write -1 as "none").
constexpr std::uint32_t beyondAnyScreen = 1u << 30;

int clamped(std::uint32_t value) { return static_cast<int>(std::min(value, beyondAnyScreen)); }

void addEdgeReservations(const PanelWindow& panel, QSize root, std::vector<EdgeReservation>& reservations) {
  const auto add = [&](ScreenEdge edge, std::uint32_t depth, std::uint32_t left, std::uint32_t right) {
    if (depth == 0 || depth >= beyondAnyScreen) return;
    int reaches = static_cast<int>(depth);
    const QRect& window = panel.window;
    if (!window.isNull()) {
      // A window that reaches into the band it reserves is the panel's own.
      const bool inBand = edge == ScreenEdge::top ? window.top() < reaches : window.bottom() >= root.height() - reaches;
      const int windowDepth = edge == ScreenEdge::top ? window.bottom() + 1 : root.height() - window.top();
      if (inBand) reaches = std::max(reaches, windowDepth);
    }
    reservations.push_back({edge, reaches, clamped(left), clamped(right)});
  };
  add(ScreenEdge::top, panel.strut[2], panel.strut[8], panel.strut[9]);
  add(ScreenEdge::bottom, panel.strut[3], panel.strut[10], panel.strut[11]);
}

}  // namespace

PanelBands bandsOf(std::span<const PanelWindow> panels, QSize root) {
  PanelBands bands;
  for (const PanelWindow& panel : panels) {
    const std::size_t before = bands.edges.size();
    addEdgeReservations(panel, root, bands.edges);
    const bool alongSide = (panel.strut[0] > 0 || panel.strut[1] > 0) && bands.edges.size() == before;
    bands.verticalTray = bands.verticalTray || (panel.holdsTray && alongSide);
    const std::uint32_t right = panel.strut[1];
    if (right > 0 && right < beyondAnyScreen) {
      bands.right.push_back({static_cast<int>(right), clamped(panel.strut[6]), clamped(panel.strut[7])});
    }
  }
  return bands;
}

const PanelWindow* translucentPanelBeside(ScreenEdge edge, const QRect& strip, std::span<const PanelWindow> panels,
                                          QSize root) {
  const auto found = std::ranges::find_if(panels, [&](const PanelWindow& panel) {
    std::vector<EdgeReservation> bands;
    addEdgeReservations(panel, root, bands);
    return panel.translucent && std::ranges::any_of(bands, [&](const EdgeReservation& band) {
             return band.edge == edge && band.left <= strip.right() && band.right >= strip.left();
           });
  });
  return found == panels.end() ? nullptr : &*found;
}

int rightInset(const QRect& screen, QSize root, std::span<const SideReservation> reservations) {
  // Struts count from the root window's edge, past any screen to the right.
  const int beyondScreen = root.width() - 1 - screen.right();
  int inset = 0;
  for (const SideReservation& each : reservations) {
    if (each.top <= screen.bottom() && each.bottom >= screen.top()) inset = std::max(inset, each.depth - beyondScreen);
  }
  return inset;
}

int desktopReservationDepth(int previous, std::optional<int> workAreaDepth, std::span<const int> ownReservationDepths,
                            int othersDepth) {
  if (!workAreaDepth) return previous;
  if (*workAreaDepth != 0 && std::ranges::find(ownReservationDepths, *workAreaDepth) != ownReservationDepths.end()) {
    return previous;
  }
  // Short of the strut in force: a window manager that has not taken the
  // bar on yet, as while it starts or is replaced.
  if (!ownReservationDepths.empty() && *workAreaDepth < ownReservationDepths.front()) return previous;
  // Other windows' struts explain the work area: the desktop keeps nothing
  // beyond them of its own.
  if (*workAreaDepth <= othersDepth) return 0;
  return *workAreaDepth;
}

std::optional<std::size_t> screenAtOrigin(std::span<const QRect> screens) {
  const auto found = std::ranges::find(screens, QPoint(0, 0), &QRect::topLeft);
  if (found == screens.end()) return std::nullopt;
  return static_cast<std::size_t>(found - screens.begin());
}

int screenDepth(ScreenEdge edge, const QRect& screen, QSize root) {
  return edge == ScreenEdge::top ? screen.top() : root.height() - 1 - screen.bottom();
}

int reservationsDepth(ScreenEdge edge, const QRect& screen, QSize root, std::span<const EdgeReservation> reservations) {
  int depth = screenDepth(edge, screen, root);
  for (const EdgeReservation& each : reservations) {
    if (each.edge == edge && each.left <= screen.right() && each.right >= screen.left()) {
      depth = std::max(depth, each.depth);
    }
  }
  return depth;
}

std::optional<QRect> workAreaOver(const QRect& screen, std::span<const QRect> monitorWorkAreas,
                                  std::optional<QRect> desktopWorkArea) {
  for (const QRect& area : monitorWorkAreas) {
    if (area.intersects(screen)) return area;
  }
  return desktopWorkArea;
}

int depthOf(ScreenEdge edge, const QRect& area, QSize root) {
  return edge == ScreenEdge::top ? area.top() : root.height() - 1 - area.bottom();
}

ScreenEdge dockEdge(const QRect& screen, QSize root, EdgeDepths reserved, bool verticalTray) {
  if (verticalTray) return ScreenEdge::top;
  return edgeBeside({std::max(0, reserved.top - screenDepth(ScreenEdge::top, screen, root)),
                     std::max(0, reserved.bottom - screenDepth(ScreenEdge::bottom, screen, root))});
}

QRect dockGeometry(const QRect& screen, QSize root, EdgeDepths reserved, QSize size, int rightInset,
                   bool verticalTray) {
  const int top = dockEdge(screen, root, reserved, verticalTray) == ScreenEdge::top ? reserved.top
                                                                      : root.height() - reserved.bottom - size.height();
  // A panel can reserve more than the screen has room for beside it.
  const int onScreen = std::clamp(top, screen.top(), std::max(screen.top(), screen.bottom() + 1 - size.height()));
  const int left = std::max(screen.left(), screen.right() + 1 - rightInset - size.width());
  return QRect(QPoint(left, onScreen), size);
}

std::array<std::uint32_t, 12> strutFor(ScreenEdge edge, const QRect& geometry, QSize root) {
  const auto unsignedOf = [](int value) { return static_cast<std::uint32_t>(std::max(value, 0)); };
  std::array<std::uint32_t, 12> strut{};
  const std::size_t side = edge == ScreenEdge::top ? 0 : 1;
  strut[2 + side] = unsignedOf(edge == ScreenEdge::top ? geometry.bottom() + 1 : root.height() - geometry.top());
  strut[8 + 2 * side] = unsignedOf(geometry.left());   // top_start_x or bottom_start_x
  strut[9 + 2 * side] = unsignedOf(geometry.right());  // top_end_x or bottom_end_x
  return strut;
}

}  // namespace platform
