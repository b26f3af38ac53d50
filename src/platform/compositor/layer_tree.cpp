#include "platform/compositor/layer_tree.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/render/renderer.h"

namespace platform {

namespace {

// How far around a layer's origin its content is drawn, in points, which
// keeps positions far from overflowing; and how large it may be drawn, a
// bound on memory for absurd lines: some 10,000 characters at 2x.
constexpr double reach = 1 << 20;
constexpr double largestContentPixels = 8 << 20;

// The whole pixel at or left of and above `position`. Views placed absurdly
// far away (or nowhere, NaN) still get a place, far out of sight.
QPoint wholePixelsOf(QPointF position) {
  static constexpr double farAway = 1e7;
  const auto whole = [](double value) {
    return static_cast<int>(std::isfinite(value) ? std::clamp(std::floor(value), -farAway, farAway) : farAway);
  };
  return {whole(position.x()), whole(position.y())};
}

struct Drawing {
  double devicePixelRatio;
  QColor textColor;
};

std::vector<BasicAnimation> translationsOf(const View& view) {
  std::vector<BasicAnimation> translations;
  if (const Layer* layer = view.layer()) {
    for (const std::string& key : layer->animationKeys()) {
      const BasicAnimation* animation = layer->animation(key);
      if (animation != nullptr && animation->keyPath == translationKeyPath) translations.push_back(*animation);
    }
  }
  return translations;
}

// What a layer that sees `visible` at rest can see while its animations
// shift it sideways: the union over every shift they present, rest included.
QRectF widenedBy(const std::vector<BasicAnimation>& translations, QRectF visible) {
  double least = 0.0;
  double most = 0.0;
  for (const BasicAnimation& animation : translations) {
    least = std::min({least, animation.fromValue, animation.toValue});
    most = std::max({most, animation.fromValue, animation.toValue});
  }
  visible.setLeft(visible.left() - most);
  visible.setRight(visible.right() - least);
  return visible;
}

void drawContent(CompositedLayer& layer, const View& view, QPointF phase, QRectF visible, const Drawing& drawing) {
  const double ratio = drawing.devicePixelRatio;
  visible &= QRectF(-reach, -reach, 2.0 * reach, 2.0 * reach);
  visible.setHeight(std::min(visible.height(), largestContentPixels / ratio));
  visible.setWidth(std::min(visible.width(), largestContentPixels / std::max(visible.height() * ratio, 1.0) / ratio));
  const QRectF area(phase.x() + visible.x() * ratio, phase.y() + visible.y() * ratio, visible.width() * ratio,
                    visible.height() * ratio);
  // Also refuses what is not a number, and whole pixels that would overflow.
  if (!QRectF(-1e8, -1e8, 2e8, 2e8).contains(area)) return;
  const QRect pixels = area.toAlignedRect();
  if (pixels.isEmpty()) return;
  QImage content(pixels.size(), QImage::Format_ARGB32_Premultiplied);
  if (content.isNull()) return;
  content.setDevicePixelRatio(ratio);
  content.fill(Qt::transparent);
  {
    QPainter painter(&content);
    painter.translate((phase.x() - pixels.x()) / ratio, (phase.y() - pixels.y()) / ratio);
    painter.setClipRect(visible);
    paintLayerContent(painter, view, drawing.textColor);
  }
  content.setDevicePixelRatio(1.0);
  layer.content = std::move(content);
  layer.contentOrigin = pixels.topLeft();
}

// A layer that scrolls round and round must show, at the end of a pass,
// exactly what it showed at the start, to the device pixel, however far the
// pass is in pixels: the columns past the first pass's length are made copies
// of those a pass before them.
void repeatEveryPass(CompositedLayer& layer, double devicePixelRatio) {
  if (layer.translations.size() != 1 || layer.content.isNull()) return;
  const BasicAnimation& animation = layer.translations.front();
  if (!(animation.repeatCount > 1.0) || animation.autoreverses) return;
  const double sweep = std::floor(animation.toValue * devicePixelRatio + 0.5) -
                       std::floor(animation.fromValue * devicePixelRatio + 0.5);
  if (!(std::abs(sweep) >= 1.0 && std::abs(sweep) < layer.content.width())) return;
  const int pass = static_cast<int>(std::abs(sweep));
  const int width = layer.content.width();
  for (int y = 0; y < layer.content.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(layer.content.scanLine(y));
    // Leftwards the pass's first columns are those in sight at its start;
    // rightwards its last ones.
    if (sweep < 0) {
      for (int x = pass; x < width; ++x) row[x] = row[x - pass];
    } else {
      for (int x = width - pass - 1; x >= 0; --x) row[x] = row[x + pass];
    }
  }
}

CompositedLayer drawLayer(const View& view, QPointF position, QPoint parentOrigin, const QRectF& visibleAtRest,
                          const Drawing& drawing);

// Adds a sublayer for every layer-backed view below `view`, which lies
// `offset` points from the top-left corner of `layer`'s own view.
void addSublayers(CompositedLayer& layer, const View& view, QPointF offset, QPointF layerPosition,
                  QPoint layerOrigin, const QRectF& visible, const Drawing& drawing) {
  const double height = view.bounds().height();
  for (const auto& subview : view.subviews()) {
    const Rect& frame = subview->frame();
    const QPointF subviewOffset = offset + QPointF(frame.origin.x, height - frame.origin.y - frame.height());
    if (subview->layer() == nullptr) {
      addSublayers(layer, *subview, subviewOffset, layerPosition, layerOrigin, visible, drawing);
    } else {
      layer.sublayers.push_back(drawLayer(*subview, layerPosition + subviewOffset * drawing.devicePixelRatio,
                                          layerOrigin, visible.translated(-subviewOffset), drawing));
    }
  }
}

// `position`: the exact place of the view's top-left corner in the scene, in
// device pixels. `visibleAtRest`: what of the view can be seen while it is
// not shifted, in its own points.
CompositedLayer drawLayer(const View& view, QPointF position, QPoint parentOrigin, const QRectF& visibleAtRest,
                          const Drawing& drawing) {
  CompositedLayer layer;
  const QPoint origin = wholePixelsOf(position);
  const QPointF phase = position - QPointF(origin);
  layer.origin = origin - parentOrigin;
  layer.translations = translationsOf(view);
  QRectF visible = widenedBy(layer.translations, visibleAtRest);
  if (const Layer* own = view.layer(); own != nullptr && own->masksToBounds()) {
    const Rect bounds = view.bounds();
    layer.clip = QRectF(phase, QSizeF(bounds.width(), bounds.height()) * drawing.devicePixelRatio);
    visible &= QRectF(0.0, 0.0, bounds.width(), bounds.height());
  }
  drawContent(layer, view, phase, visible, drawing);
  repeatEveryPass(layer, drawing.devicePixelRatio);
  addSublayers(layer, view, QPointF(), position, origin, visible, drawing);
  return layer;
}

}  // namespace

LayerTree::LayerTree(Size size, double devicePixelRatio, const QColor& background, std::span<const Placement> trees,
                     const QColor& textColor)
    : devicePixelRatio_(devicePixelRatio) {
  const double width = std::ceil(size.width * devicePixelRatio);
  const double height = std::ceil(size.height * devicePixelRatio);
  // Beyond this no screen goes, and positions stay far from overflowing.
  constexpr double largest = 1 << 16;
  if (!(width >= 1.0 && height >= 1.0 && width <= largest && height <= largest)) return;
  pixelSize_ = QSize(static_cast<int>(width), static_cast<int>(height));
  if (background.alpha() > 0) {
    root_.content = QImage(pixelSize_, QImage::Format_ARGB32_Premultiplied);
    root_.content.fill(background);
  }
  const Drawing drawing{devicePixelRatio, textColor};
  for (const Placement& placement : trees) {
    if (placement.root == nullptr) continue;
    // Nothing of a tree shows outside its root's bounds.
    const QPointF position = QPointF(placement.origin.x, placement.origin.y) * devicePixelRatio;
    const Rect bounds = placement.root->bounds();
    CompositedLayer tree;
    tree.origin = wholePixelsOf(position);
    tree.clip = QRectF(position - QPointF(tree.origin), QSizeF(bounds.width(), bounds.height()) * devicePixelRatio);
    tree.sublayers.push_back(
        drawLayer(*placement.root, position, tree.origin, QRectF(0.0, 0.0, bounds.width(), bounds.height()), drawing));
    root_.sublayers.push_back(std::move(tree));
  }
}

LayerTree LayerTree::withBeginTimes(const std::function<double(const BasicAnimation&)>& beginOf) const {
  LayerTree rebased = *this;
  const auto rebase = [&beginOf](const auto& self, CompositedLayer& layer) -> void {
    for (BasicAnimation& animation : layer.translations) animation.beginTime = beginOf(animation);
    for (CompositedLayer& sublayer : layer.sublayers) self(self, sublayer);
  };
  rebase(rebase, rebased.root_);
  return rebased;
}

}  // namespace platform
