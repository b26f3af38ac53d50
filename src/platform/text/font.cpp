#include "platform/text/font.h"

#include <cmath>

namespace platform {

namespace {

// Our bar is 22 points high. The desktop's UI font at 13 points has a line
// of about 15 to 16 points, which leaves 3 points above and below it, the
// same proportion as the classic menu bar this one stands in for.
constexpr double standardMenuBarFontSize = 13.0;

}  // namespace

Font Font::menuBarFontOfSize(double size) {
  const bool usable = std::isfinite(size) && size > 0.0;
  return Font{.family = "", .size = usable ? size : standardMenuBarFontSize};
}

}  // namespace platform
