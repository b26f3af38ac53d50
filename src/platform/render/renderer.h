#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>

#include "platform/view/view.h"

namespace platform {

// Paints what the compositor keeps as the already-drawn content of the layer
// of `view`: the view's own drawing and that of its subviews down to those
// with a layer of their own, which are left out; the view's own layer is
// neither moved nor clipped. Labels draw what lies in the painter's clip.
void paintLayerContent(QPainter& painter, const View& view, const QColor& textColor);

// The tree of `root` as it looks at media time `mediaTime`, in a transparent
// image of the root's size at `devicePixelRatio`: children placed by their
// frames, layers clipped and moved as their animations say, labels' text in
// `textColor`. A null image when that size is empty.
QImage renderViewTree(const View& root, double mediaTime, double devicePixelRatio, const QColor& textColor);

}  // namespace platform
