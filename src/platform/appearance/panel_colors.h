#pragma once

#include <QColor>
#include <QImage>
#include <optional>

#include "platform/appearance/strip_colors.h"

namespace platform {

// How far apart two colours are to the eye, as WCAG measures it: from 1
// (the same lightness) to 21 (black and white).
double contrastRatio(QColor first, QColor second);

// The colour of a panel in `sample`, a piece of it beside the strip: the
// one colour of at least half its pixels, so that text and icons on it do
// not count. None where no colour has that many (a picture, a gradient).
std::optional<QColor> plainColorOf(const QImage& sample);

// The strip's colours beside a panel whose background is `panel`: that
// background exactly, so the strip looks part of the panel, with text that
// stays readable on it (WCAG AA, 4.5:1). The text is that of the `light` or
// the `dark` palette, whichever suits the panel, where it is readable
// there; else black or white, whichever contrasts more, one of which always
// is.
StripColors colorsBeside(QColor panel, const StripColors& light, const StripColors& dark);

}  // namespace platform
