#pragma once

namespace platform {

// The two edges of an output a bar can stand along, on either backend.
enum class ScreenEdge { top, bottom };

// How deep the reservations along the top and the bottom of one screen
// reach, each measured from that edge of the root window (or the output),
// as struts and exclusive zones are.
struct EdgeDepths {
  int top;
  int bottom;
  bool operator==(const EdgeDepths&) const = default;
};

// The edge a bar stands at beside other panels' `bands` (depths beyond the
// screen's own edge): the top where something is along it, else the bottom
// where something is along that, else the top, where a bar is looked for.
constexpr ScreenEdge edgeBeside(EdgeDepths bands) {
  return bands.top == 0 && bands.bottom > 0 ? ScreenEdge::bottom : ScreenEdge::top;
}

}  // namespace platform
