#pragma once

#include <QImage>
#include <span>
#include <vector>

#include "platform/compositor/layer_tree.h"

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

}  // namespace platform
