#include "platform/image/image_scaling.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

#include "platform/image/bitmap_image.h"
#include "platform/image/canvas.h"

namespace platform {

namespace {

constexpr double kDensity = 2.0;

}  // namespace

ImageRef scaledToSquare(const Image& picture, double side) {
  if (!(side > 0.0 && side <= kMaxSquareSide)) return nullptr;

  // The pixel count is whole; the density absorbs the rounding, so that the
  // square measures exactly `side` points.
  const int pixelSide = std::max(1, static_cast<int>(std::lround(side * kDensity)));
  QImage square(pixelSide, pixelSide, QImage::Format_ARGB32_Premultiplied);
  square.fill(Qt::transparent);
  square.setDevicePixelRatio(pixelSide / side);

  QPainter painter(&square);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  Canvas canvas(painter);
  picture.draw(canvas, Rect(0.0, 0.0, side, side));
  painter.end();
  return std::make_shared<BitmapImage>(std::move(square));
}

}  // namespace platform
