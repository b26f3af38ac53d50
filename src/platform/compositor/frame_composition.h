#pragma once

#include <QImage>
#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/compositor/layer_tree.h"
#include "platform/compositor/retained_frame.h"

namespace platform {

// Frames move already-drawn layers by whole device pixels only: a moving
// line keeps exactly the shape it has at rest, every frame is a plain copy,
// and a frame is due only when some layer has moved by a whole pixel.

// The whole-pixel sideways shift of every layer of `tree` at media time
// `time`, in the order the layers are composited.
std::vector<int> layerShiftsAt(const LayerTree& tree, double time);

// The earliest media time after `time` at which a shift of layerShiftsAt()
// may change; infinity while nothing moves.
double nextShiftChangeAfter(const LayerTree& tree, double time);

// The layers of `tree` composited at `shifts` (from layerShiftsAt()) into a
// transparent image of the tree's pixel size and density; null for an empty
// tree.
QImage compositeFrame(const LayerTree& tree, std::span<const int> shifts);
// The same into `frame`, whose pixels (and the toolkit's painting state for
// them) are used again when it already has the tree's size.
void compositeFrame(const LayerTree& tree, std::span<const int> shifts, QImage& frame);

// The frames of a tree in which one layer scrolls, as a display can keep
// them: every frame is `frame` with its film at offsetAt(shifts).
struct Retention {
  std::shared_ptr<const RetainedFrame> frame;
  std::size_t movingLayer;  // index into the shifts
  int highestShift;         // the shift that shows the film from its start

  int offsetAt(std::span<const int> shifts) const { return highestShift - shifts[movingLayer]; }
};

// Retention for `tree` when its frames can be kept that way: exactly one
// layer moves, without a clip of its own, nothing is drawn above it, the
// layers around it clip it to whole pixels, and what lies behind it is the
// same in every column, so that the film can carry it. Nothing otherwise, or
// when the film would not fit in memory: each frame is then composited.
std::optional<Retention> retain(const LayerTree& tree);

}  // namespace platform
