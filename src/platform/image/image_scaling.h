#pragma once

#include "platform/image/image.h"

namespace platform {

// Far beyond any artwork the desktop shows, and at two pixels a point still
// only 16 MB of pixels.
inline constexpr double kMaxSquareSide = 1024.0;

// The whole of `picture` stretched (not cropped, not padded) to fill a square
// of `side` points, its pixels replacing the square's, alpha included; stored
// at two pixels a point so that it stays sharp on high-density screens. None
// unless `side` is a positive size of at most kMaxSquareSide points.
ImageRef scaledToSquare(const Image& picture, double side);

}  // namespace platform
