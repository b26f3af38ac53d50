#pragma once

#include <QColor>
#include <QImage>

#include "session.h"

namespace sonvetta::testdata {

// How light `image` is on the whole, from 0 (black) to 255 (white): a light
// strip lies well above the middle, a dark one well below.
inline double meanLightness(const QImage& image) {
  double sum = 0.0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) sum += QColor(image.pixel(x, y)).lightness();
  }
  return sum / (image.width() * image.height());
}

// True when `strip` shows something on its background (the colour at its
// top-right): the music note and "Music not playing", or a track's line.
inline bool hasContent(const QImage& strip) {
  const QRgb background = strip.pixel(strip.width() - 1, 0);
  int differing = 0;
  for (int y = 0; y < strip.height(); ++y) {
    for (int x = 0; x < strip.width(); ++x) differing += strip.pixel(x, y) != background;
  }
  return differing > 100;
}

// The rows of sway's bar along the top of `screenshot`, in device pixels.
inline int swayBarHeight(const QImage& screenshot) {
  int height = 0;
  while (height < screenshot.height() && screenshot.pixel(screenshot.width() / 2, height) == Screen::swayBar) ++height;
  return height;
}

}  // namespace sonvetta::testdata
