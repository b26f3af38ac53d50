#include "platform/image/bitmap_image.h"

#include <QPainter>

#include "platform/image/canvas.h"

namespace platform {

namespace {

// The painter's own smooth transform samples only the nearest source pixels,
// which turns a large picture drawn small into noise; averaging it down to
// the pixels it will cover first keeps every source pixel's share.
QImage resampledFor(const QPainter& painter, const QRectF& target, const QImage& pixels) {
  if (!painter.testRenderHint(QPainter::SmoothPixmapTransform)) return pixels;
  if (painter.deviceTransform().type() > QTransform::TxScale) return pixels;
  const QSize covered = painter.deviceTransform().mapRect(target).size().toSize();
  if (covered.isEmpty() || (covered.width() >= pixels.width() && covered.height() >= pixels.height())) return pixels;
  return pixels.scaled(covered, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

}  // namespace

BitmapImage::BitmapImage(QImage pixels) : pixels_(std::move(pixels)) {}

Size BitmapImage::size() const {
  const QSizeF points = pixels_.deviceIndependentSize();
  return {points.width(), points.height()};
}

void BitmapImage::draw(Canvas& canvas, const Rect& rect) const {
  QPainter& painter = canvas.painter();
  const QRectF target(rect.origin.x, rect.origin.y, rect.width(), rect.height());
  painter.drawImage(target, resampledFor(painter, target, pixels_));
}

ImageRef makeBitmapImage(QImage pixels, double density) {
  pixels.setDevicePixelRatio(density);
  return std::make_shared<BitmapImage>(std::move(pixels));
}

}  // namespace platform
