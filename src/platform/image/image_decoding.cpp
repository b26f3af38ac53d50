#include "platform/image/image_decoding.h"

#include <QBuffer>
#include <QImageReader>

#include "platform/image/bitmap_image.h"
#include "platform/image/jpeg_layout.h"

namespace platform {

namespace {

// Pictures come from files anyone may have written, and a few bytes can
// declare an enormous picture. One is taken, whatever its format, when it
// decodes within this memory (5792 x 5792 pixels at four bytes a pixel);
// a larger one is refused before any pixel is decoded.
constexpr qint64 kMaxDecodedBytes = qint64{128} << 20;
constexpr qint64 kBytesPerPixel = 4;

// Artwork is shown a few dozen pixels high. A JPEG of more pixels than this
// is decoded at a half, a quarter or an eighth of its size instead, which
// libjpeg does directly, at a fraction of the cost.
constexpr qint64 kMaxJpegPixelCount = qint64{4096} * 4096;

// Encoders write a dozen scans or so; thousands of nearly empty ones keep
// libjpeg busy for seconds.
constexpr int kMaxJpegScanCount = 64;

// While it decodes a progressive JPEG, libjpeg holds all of its DCT
// coefficients, whatever size it decodes at. Up to 8192 x 8192 pixels in
// three full-size components (384 MB) are accepted, of any JPEG.
constexpr qint64 kMaxJpegCoefficientBytes = qint64{384} << 20;

bool holdsAtMost(const QSize& size, qint64 pixelCount) {
  return size.isValid() && !size.isEmpty() && qint64{size.width()} * size.height() <= pixelCount;
}

// The declared size, or for a large JPEG the first of a half, a quarter and
// an eighth of it that fits. Invalid when the picture cannot be decoded
// within the limits.
QSize decodingSize(QImageReader& reader, std::span<const std::byte> bytes) {
  const QSize declared = reader.size();
  if (reader.format() != "jpeg") return holdsAtMost(declared, kMaxDecodedBytes / kBytesPerPixel) ? declared : QSize();

  const std::optional<JpegLayout> layout = readJpegLayout(bytes);
  if (!layout || layout->scanCount > kMaxJpegScanCount || layout->coefficientBytes > kMaxJpegCoefficientBytes) {
    return {};
  }
  for (int divisor = 1; divisor <= 8; divisor *= 2) {
    // libjpeg rounds its sizes up; Qt then scales them to the size asked for.
    const QSize decoded((declared.width() + divisor - 1) / divisor, (declared.height() + divisor - 1) / divisor);
    if (holdsAtMost(decoded, kMaxJpegPixelCount)) return declared / divisor;
  }
  return {};
}

}  // namespace

ImageRef decodeImage(std::span<const std::byte> bytes) {
  // The declared size is checked before any pixel is allocated; Qt's
  // allocation limit (process-wide) stops a reader whose format declares one
  // size and then decodes another.
  QImageReader::setAllocationLimit(static_cast<int>(kMaxDecodedBytes >> 20));
  QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                            static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  reader.setAutoTransform(true);
  const QSize size = decodingSize(reader, bytes);
  if (!size.isValid()) return nullptr;
  if (size != reader.size()) reader.setScaledSize(size);

  QImage pixels = reader.read();
  if (pixels.isNull()) return nullptr;
  return makeBitmapImage(std::move(pixels), 1.0);
}

}  // namespace platform
