#pragma once

#include <QColor>
#include <QPainter>

#include "platform/image/canvas.h"
#include "platform/image/image.h"

namespace platform {

class SolidImage final : public Image {
 public:
  SolidImage(Size size, QColor color) : size_(size), color_(color) {}

  Size size() const override { return size_; }
  void draw(Canvas& canvas, const Rect& rect) const override {
    canvas.painter().fillRect(QRectF(rect.origin.x, rect.origin.y, rect.width(), rect.height()), color_);
  }

 private:
  Size size_;
  QColor color_;
};

}  // namespace platform
