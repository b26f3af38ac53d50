#pragma once

// Geometry of the view kit: lengths in points as doubles, never rounded.
// Rectangles are given in the parent's coordinates with the origin at the
// lower-left corner and y growing upwards.

namespace platform {

struct Point {
  double x = 0.0;
  double y = 0.0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
  double width = 0.0;
  double height = 0.0;
  friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
  Point origin;
  Size size;

  Rect() = default;
  Rect(double x, double y, double width, double height) : origin{x, y}, size{width, height} {}

  double width() const { return size.width; }
  double height() const { return size.height; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace platform
