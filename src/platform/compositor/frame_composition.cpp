#include "platform/compositor/frame_composition.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <limits>

namespace platform {

namespace {

constexpr double never = std::numeric_limits<double>::infinity();

// Pixels round half up, so that a shift changes exactly on a half pixel.
double wholePixels(double devicePixels) { return std::floor(devicePixels + 0.5); }

int shiftAt(const std::vector<BasicAnimation>& translations, double time, double devicePixelRatio) {
  double value = 0.0;
  for (const BasicAnimation& animation : translations) value = animation.presentedValueAt(time).value_or(value);
  const double pixels = wholePixels(value * devicePixelRatio);
  // A shift beyond any screen shows nothing wherever it is.
  static constexpr double offScreen = 1 << 24;
  return std::isfinite(pixels) ? static_cast<int>(std::clamp(pixels, -offScreen, offScreen)) : 0;
}

// When the whole-pixel shift that `animation` presents may next change after
// `time`: at a half pixel of its linear sweep, or where a pass ends.
double nextChangeOf(const BasicAnimation& animation, double time, double devicePixelRatio) {
  const double duration = animation.duration;
  if (!(duration > 0.0) || !std::isfinite(duration)) return never;
  const double elapsed = time - animation.beginTime;
  if (elapsed < 0.0) return animation.beginTime;
  const double sweeps = (animation.repeatCount > 0.0 ? animation.repeatCount : 1.0) * (animation.autoreverses ? 2 : 1);
  const double sweep = std::floor(elapsed / duration);
  if (!(sweep < sweeps)) return never;
  const double sweepEnd = animation.beginTime + std::min(sweep + 1.0, sweeps) * duration;
  const bool backwards = animation.autoreverses && std::fmod(sweep, 2.0) == 1.0;
  const double speed = (animation.toValue - animation.fromValue) / duration * devicePixelRatio * (backwards ? -1 : 1);
  const double position = animation.presentedValueAt(time).value_or(0.0) * devicePixelRatio;
  const double halfPixel = wholePixels(position) + (speed > 0.0 ? 0.5 : -0.5);
  // A microsecond past the crossing, so that the shift has surely changed.
  const double crossing = speed != 0.0 ? time + (halfPixel - position) / speed + 1e-6 : never;
  return std::max(std::min(crossing, sweepEnd), time + 1e-6);
}

template <typename Visit>
void forEachLayer(const CompositedLayer& layer, const Visit& visit) {
  visit(layer);
  for (const CompositedLayer& sublayer : layer.sublayers) forEachLayer(sublayer, visit);
}

std::size_t layerCount(const CompositedLayer& layer) {
  std::size_t count = 0;
  forEachLayer(layer, [&count](const CompositedLayer&) { ++count; });
  return count;
}

// Leaves out `omitted` and the layers above it in the tree.
void composite(QPainter& painter, const CompositedLayer& layer, QPoint parentPosition, std::span<const int>& shifts,
               const CompositedLayer* omitted = nullptr) {
  if (&layer == omitted) {
    shifts = shifts.subspan(std::min(shifts.size(), layerCount(layer)));
    return;
  }
  const QPoint position = parentPosition + layer.origin + QPoint(shifts.empty() ? 0 : shifts.front(), 0);
  if (!shifts.empty()) shifts = shifts.subspan(1);
  painter.save();
  if (layer.clip) painter.setClipRect(layer.clip->translated(position), Qt::IntersectClip);
  if (!layer.content.isNull()) painter.drawImage(position + layer.contentOrigin, layer.content);
  for (const CompositedLayer& sublayer : layer.sublayers) composite(painter, sublayer, position, shifts, omitted);
  painter.restore();
}

// A layer of a tree at rest, in compositing order.
struct PlacedLayer {
  const CompositedLayer* layer;
  QPoint parentPosition;  // in the frame
  QRectF clip;            // of the layers around it, in the frame
  std::size_t end;        // index of the first layer not above it in the tree
};

void place(const CompositedLayer& layer, QPoint parentPosition, QRectF clip, std::vector<PlacedLayer>& placed) {
  const std::size_t index = placed.size();
  placed.push_back({&layer, parentPosition, clip, 0});
  const QPoint position = parentPosition + layer.origin;
  if (layer.clip) clip &= layer.clip->translated(position);
  for (const CompositedLayer& sublayer : layer.sublayers) place(sublayer, position, clip, placed);
  placed[index].end = placed.size();
}

QRect contentRect(const PlacedLayer& placed) {
  const CompositedLayer& layer = *placed.layer;
  return QRect(placed.parentPosition + layer.origin + layer.contentOrigin, layer.content.size());
}

bool sameInEveryColumn(const QImage& image, const QRect& area) {
  for (int y = area.top(); y <= area.bottom(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y)) + area.left();
    if (!std::all_of(row, row + area.width(), [first = row[0]](QRgb pixel) { return pixel == first; })) return false;
  }
  return true;
}

bool onWholePixels(const QRectF& rect) {
  return rect == QRectF(rect.toAlignedRect());
}

// Films larger than this are not worth keeping: their frames are composited.
constexpr qsizetype largestFilmBytes = qsizetype{64} << 20;

}  // namespace

std::vector<int> layerShiftsAt(const LayerTree& tree, double time) {
  std::vector<int> shifts;
  forEachLayer(tree.root(), [&](const CompositedLayer& layer) {
    shifts.push_back(shiftAt(layer.translations, time, tree.devicePixelRatio()));
  });
  return shifts;
}

double nextShiftChangeAfter(const LayerTree& tree, double time) {
  double next = never;
  forEachLayer(tree.root(), [&](const CompositedLayer& layer) {
    for (const BasicAnimation& animation : layer.translations) {
      next = std::min(next, nextChangeOf(animation, time, tree.devicePixelRatio()));
    }
  });
  return next;
}

std::optional<Retention> retain(const LayerTree& tree) {
  if (tree.pixelSize().isEmpty()) return std::nullopt;
  std::vector<PlacedLayer> placed;
  const QRectF frameRect(QPointF(), tree.pixelSize());
  place(tree.root(), QPoint(), frameRect, placed);
  const auto moving = [](const PlacedLayer& layer) { return !layer.layer->translations.empty(); };
  const auto found = std::find_if(placed.begin(), placed.end(), moving);
  if (found == placed.end() || std::any_of(std::next(found), placed.end(), moving)) return std::nullopt;
  const PlacedLayer& mover = *found;
  if (mover.layer->clip || !onWholePixels(mover.clip) || mover.clip.isEmpty()) return std::nullopt;
  const QRect window = mover.clip.toAlignedRect();
  for (std::size_t i = mover.end; i < placed.size(); ++i) {
    if (!placed[i].layer->content.isNull() && contentRect(placed[i]).intersects(window)) return std::nullopt;
  }

  double least = 0.0;
  double most = 0.0;
  for (const BasicAnimation& animation : mover.layer->translations) {
    least = std::min({least, animation.fromValue, animation.toValue});
    most = std::max({most, animation.fromValue, animation.toValue});
  }
  const double lowestShift = wholePixels(least * tree.devicePixelRatio());
  const double highestShift = wholePixels(most * tree.devicePixelRatio());
  const double filmWidth = window.width() + highestShift - lowestShift;
  if (!(filmWidth * window.height() * 4.0 <= static_cast<double>(largestFilmBytes))) return std::nullopt;

  std::vector<int> atRest(placed.size(), 0);
  std::span<const int> shifts = atRest;
  auto frame = std::make_shared<RetainedFrame>();
  frame->still = QImage(tree.pixelSize(), QImage::Format_ARGB32_Premultiplied);
  frame->still.fill(Qt::transparent);
  {
    QPainter painter(&frame->still);
    composite(painter, tree.root(), QPoint(), shifts, mover.layer);
  }
  if (!sameInEveryColumn(frame->still, window)) return std::nullopt;

  frame->window = window;
  frame->film = QImage(static_cast<int>(filmWidth), window.height(), QImage::Format_ARGB32_Premultiplied);
  if (frame->film.isNull()) return std::nullopt;
  for (int y = 0; y < window.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(frame->film.scanLine(y));
    const QRgb behind = reinterpret_cast<const QRgb*>(frame->still.constScanLine(window.top() + y))[window.left()];
    std::fill(row, row + frame->film.width(), behind);
  }
  {
    QPainter painter(&frame->film);
    painter.translate(-window.topLeft());
    std::vector<int> moved(layerCount(*mover.layer), 0);
    moved.front() = static_cast<int>(highestShift);
    std::span<const int> movedShifts = moved;
    composite(painter, *mover.layer, mover.parentPosition, movedShifts);
  }
  frame->still.setDevicePixelRatio(tree.devicePixelRatio());
  return Retention{std::move(frame), static_cast<std::size_t>(found - placed.begin()), static_cast<int>(highestShift)};
}

QImage compositeFrame(const LayerTree& tree, std::span<const int> shifts) {
  QImage frame;
  compositeFrame(tree, shifts, frame);
  return frame;
}

void compositeFrame(const LayerTree& tree, std::span<const int> shifts, QImage& frame) {
  if (tree.pixelSize().isEmpty()) {
    frame = QImage();
    return;
  }
  if (frame.size() != tree.pixelSize() || frame.format() != QImage::Format_ARGB32_Premultiplied) {
    frame = QImage(tree.pixelSize(), QImage::Format_ARGB32_Premultiplied);
  }
  // Painted at one pixel per pixel: every layer is already at its density.
  frame.setDevicePixelRatio(1.0);
  frame.fill(Qt::transparent);
  {
    QPainter painter(&frame);
    composite(painter, tree.root(), QPoint(), shifts);
  }
  frame.setDevicePixelRatio(tree.devicePixelRatio());
}

}  // namespace platform
