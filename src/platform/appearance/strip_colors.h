#pragma once

#include <QColor>

namespace platform {

// What the status bar is painted with: its background, and its text and symbols.
struct StripColors {
  QColor background;
  QColor text;
  friend bool operator==(const StripColors&, const StripColors&) = default;
};

}  // namespace platform
