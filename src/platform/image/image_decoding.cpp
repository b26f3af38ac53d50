#include "platform/image/image_decoding.h"

#include <QBuffer>
#include <QImageReader>

#include "platform/image/bitmap_image.h"

namespace platform {

namespace {

// Pictures come from files anyone may have written, and a few bytes can
// declare an enormous picture. Artwork of 4096 x 4096 pixels is already far
// beyond any use, and takes 64 MB once decoded.
constexpr qint64 kMaxPixelCount = qint64{4096} * 4096;
constexpr int kAllocationLimitMegabytes = 64;

bool isSensibleSize(const QSize& size) {
  return size.isValid() && !size.isEmpty() && qint64{size.width()} * size.height() <= kMaxPixelCount;
}

}  // namespace

ImageRef decodeImage(std::span<const std::byte> bytes) {
  // The declared size is checked before any pixel is allocated; Qt's
  // allocation limit (process-wide) stops a reader whose format declares one
  // size and then decodes another.
  QImageReader::setAllocationLimit(kAllocationLimitMegabytes);
  QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                            static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  reader.setAutoTransform(true);
  if (!isSensibleSize(reader.size())) return nullptr;

  QImage pixels = reader.read();
  if (pixels.isNull()) return nullptr;
  return makeBitmapImage(std::move(pixels), 1.0);
}

}  // namespace platform
