#pragma once

class QPainter;

namespace platform {

// The drawing surface handed to images and views while the renderer paints.
// It wraps the renderer's painter so that view and image interfaces do not
// depend on the toolkit.
class Canvas {
 public:
  explicit Canvas(QPainter& painter) : painter_(painter) {}

  QPainter& painter() const { return painter_; }

 private:
  QPainter& painter_;
};

}  // namespace platform
