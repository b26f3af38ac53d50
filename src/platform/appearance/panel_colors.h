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

// The colour of the panel in `band`, its rows beside the strip across the
// whole screen: in the strip's own `columns` of it first, and where the
// panel's clock, buttons or workspaces there leave no colour the most of
// them, in the whole band, most of which is the panel's bare background.
std::optional<QColor> panelColorIn(const QImage& band, const QRect& columns);

// The colour a translucent panel shows: the screen's where it shows the
// panel as the panel drew itself (`asDrawn`: no compositing manager blends
// it over what is behind it, whatever it announces), else its theme's,
// where that is known.
std::optional<QColor> translucentPanelColor(std::optional<QColor> onScreen, std::optional<QColor> asDrawn,
                                            std::optional<QColor> theme);

// The contrast text needs to be read at ease (WCAG AA).
inline constexpr double readableContrast = 4.5;

// The strip's colours beside a panel whose background is `panel`: that
// background exactly, so that the strip looks part of the panel, with the
// text of the `light` or the `dark` palette, whichever suits the panel,
// where it keeps a readable contrast there, else black or white, whichever
// contrasts more (one of them always does).
StripColors colorsBeside(QColor panel, const StripColors& light, const StripColors& dark);

}  // namespace platform
