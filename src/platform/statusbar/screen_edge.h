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

}  // namespace platform
