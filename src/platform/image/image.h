#pragma once

#include <memory>
#include <string>

#include "platform/geometry.h"

namespace platform {

class Canvas;

// A picture as the views use it: immutable, shared by reference, sized in
// points, and able to draw itself crisply at whatever pixel density the
// canvas has (bitmaps are resampled, symbols are drawn from vectors).
class Image {
 public:
  virtual ~Image() = default;

  virtual Size size() const = 0;

  // Draws the whole image stretched into `rect`, given in the canvas's
  // current logical coordinates (top-left origin, y downwards).
  virtual void draw(Canvas& canvas, const Rect& rect) const = 0;

  // What the picture shows, for assistive technology; empty when unknown.
  virtual std::string accessibilityDescription() const { return {}; }
};

using ImageRef = std::shared_ptr<const Image>;

}  // namespace platform
