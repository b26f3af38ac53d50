#pragma once

namespace platform {

// Components from 0 to 1, not premultiplied.
struct Color {
  double red = 0.0;
  double green = 0.0;
  double blue = 0.0;
  double alpha = 0.0;

  static Color clear() { return {}; }

  friend bool operator==(const Color&, const Color&) = default;
};

}  // namespace platform
