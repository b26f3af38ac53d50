#pragma once

#include <QImage>

#include "platform/image/image.h"

namespace platform {

// A picture held as pixels. Its density (pixels per point) is the QImage's
// device pixel ratio, so its size in points is its pixel size divided by it.
class BitmapImage final : public Image {
 public:
  explicit BitmapImage(QImage pixels);

  Size size() const override;
  void draw(Canvas& canvas, const Rect& rect) const override;

  const QImage& pixels() const { return pixels_; }

 private:
  QImage pixels_;
};

// `pixels` shown at `density` pixels per point.
ImageRef makeBitmapImage(QImage pixels, double density);

}  // namespace platform
