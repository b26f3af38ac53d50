#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRectF>
#include <QSize>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/geometry.h"
#include "platform/view/animation.h"
#include "platform/view/view.h"

namespace platform {

// A layer as the compositor thread sees it. Positions are in device pixels;
// at rest every layer stands on whole pixels, and its content was drawn with
// the fraction of a pixel its views have, so compositing it changes nothing.
struct CompositedLayer {
  QPoint origin;                  // from the parent layer's origin, when nothing moves
  QImage content;                 // already drawn, in device pixels; null when there is nothing to draw
  QPoint contentOrigin;           // of `content`, from `origin`
  std::optional<QRectF> clip;     // from `origin`; clips the content and every sublayer
  std::vector<BasicAnimation> translations;  // sideways shifts in points, in the order added
  std::vector<CompositedLayer> sublayers;    // back to front
};

// An immutable snapshot of view trees, with every layer's content already
// drawn: what the main thread commits and the compositor thread composites.
class LayerTree {
 public:
  struct Placement {
    const View* root;
    Point origin;  // of the root's top-left corner in the scene, in points, y downwards
  };

  // Draws the layers of `trees` for a scene of `size` points over
  // `background`, at `devicePixelRatio`. Each tree is clipped to its root's
  // bounds; labels draw in `textColor`. A layer is drawn only as far as it
  // can come into sight, so a very long label costs only what can be seen.
  LayerTree(Size size, double devicePixelRatio, const QColor& background, std::span<const Placement> trees,
            const QColor& textColor);

  QSize pixelSize() const { return pixelSize_; }
  double devicePixelRatio() const { return devicePixelRatio_; }
  const CompositedLayer& root() const { return root_; }

  // This tree with the begin time of each of its animations replaced by
  // what `beginOf` gives for it.
  LayerTree withBeginTimes(const std::function<double(const BasicAnimation&)>& beginOf) const;

 private:
  QSize pixelSize_;
  double devicePixelRatio_;
  CompositedLayer root_;
};

}  // namespace platform
