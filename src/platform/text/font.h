#pragma once

#include <string>

namespace platform {

// A font as the views ask for it: a family and a size in points (which are
// the toolkit's logical pixels).
struct Font {
  // Empty stands for the desktop's UI font. It is resolved only when text is
  // measured or drawn, because only a running GUI application knows it.
  std::string family;
  double size = 0.0;

  // Size 0 (or any size that is not a positive number) asks for the
  // standard menu-bar size.
  static Font menuBarFontOfSize(double size);

  friend bool operator==(const Font&, const Font&) = default;
};

}  // namespace platform
