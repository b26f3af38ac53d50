#pragma once

#include <QColor>
#include <QImage>

#include "platform/image/bitmap_image.h"

namespace sonvetta::testdata {

// The colour at the centre of a returned artwork image.
inline QColor centreColour(const platform::ImageRef& image) {
  const QImage& pixels = dynamic_cast<const platform::BitmapImage&>(*image).pixels();
  return pixels.pixelColor(pixels.width() / 2, pixels.height() / 2);
}

}  // namespace sonvetta::testdata
