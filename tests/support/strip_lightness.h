#pragma once

#include <QColor>
#include <QImage>

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

}  // namespace sonvetta::testdata
