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

void composite(QPainter& painter, const CompositedLayer& layer, QPoint parentPosition, std::span<const int>& shifts) {
  const QPoint position = parentPosition + layer.origin + QPoint(shifts.empty() ? 0 : shifts.front(), 0);
  if (!shifts.empty()) shifts = shifts.subspan(1);
  painter.save();
  if (layer.clip) painter.setClipRect(layer.clip->translated(position), Qt::IntersectClip);
  if (!layer.content.isNull()) painter.drawImage(position + layer.contentOrigin, layer.content);
  for (const CompositedLayer& sublayer : layer.sublayers) composite(painter, sublayer, position, shifts);
  painter.restore();
}

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
