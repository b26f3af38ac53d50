#include "platform/render/renderer.h"

#include <climits>
#include <cmath>
#include <optional>

#include "platform/image/canvas.h"

namespace platform {

namespace {

void paintView(QPainter& painter, Canvas& canvas, const View& view, std::optional<double> mediaTime);

// `view`'s own content and its subviews'; without a media time, subviews
// with a layer of their own are left out.
void paintContent(QPainter& painter, Canvas& canvas, const View& view, std::optional<double> mediaTime) {
  // A view's drawing must not change the pen or font its subviews start with.
  painter.save();
  view.draw(canvas);
  painter.restore();
  const double height = view.bounds().height();
  for (const auto& subview : view.subviews()) {
    if (!mediaTime && subview->layer() != nullptr) continue;
    const Rect& frame = subview->frame();
    painter.save();
    // Frames have their origin at the parent's lower-left corner, the painter at its top-left.
    painter.translate(frame.origin.x, height - frame.origin.y - frame.height());
    paintView(painter, canvas, *subview, mediaTime);
    painter.restore();
  }
}

void paintView(QPainter& painter, Canvas& canvas, const View& view, std::optional<double> mediaTime) {
  if (const Layer* layer = view.layer(); layer != nullptr && mediaTime) {
    const Rect bounds = view.bounds();
    painter.translate(layer->presentedValue(translationKeyPath, 0.0, *mediaTime), 0.0);
    if (layer->masksToBounds()) painter.setClipRect(QRectF(0.0, 0.0, bounds.width(), bounds.height()), Qt::IntersectClip);
  }
  paintContent(painter, canvas, view, mediaTime);
}

void prepare(QPainter& painter, const QColor& textColor) {
  painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
  painter.setPen(textColor);
}

// An image of `size` points at `devicePixelRatio`, cleared; null when empty
// or too large to allocate.
QImage transparentImage(const Size& size, double devicePixelRatio) {
  const double width = std::ceil(size.width * devicePixelRatio);
  const double height = std::ceil(size.height * devicePixelRatio);
  if (!(width >= 1.0 && height >= 1.0 && width <= INT_MAX && height <= INT_MAX)) return {};
  QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) return image;
  image.setDevicePixelRatio(devicePixelRatio);
  image.fill(Qt::transparent);
  return image;
}

}  // namespace

void paintLayerContent(QPainter& painter, const View& view, const QColor& textColor) {
  painter.save();
  prepare(painter, textColor);
  Canvas canvas(painter);
  paintContent(painter, canvas, view, std::nullopt);
  painter.restore();
}

QImage renderViewTree(const View& root, double mediaTime, double devicePixelRatio, const QColor& textColor) {
  QImage image = transparentImage(root.bounds().size, devicePixelRatio);
  if (image.isNull()) return image;
  QPainter painter(&image);
  prepare(painter, textColor);
  // Nothing outside the topmost view can be seen; clipping to it also tells
  // labels how little of a long text they need to draw.
  const Rect bounds = root.bounds();
  painter.setClipRect(QRectF(0.0, 0.0, bounds.width(), bounds.height()), Qt::IntersectClip);
  Canvas canvas(painter);
  paintView(painter, canvas, root, mediaTime);
  return image;
}

}  // namespace platform
