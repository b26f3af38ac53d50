#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <limits>

#include "platform/image/bitmap_image.h"
#include "platform/image/image_decoding.h"
#include "platform/image/image_scaling.h"
#include "hostile_files.h"
#include "tagged_audio.h"

namespace {

using platform::ImageRef;
using platform::Size;

std::span<const std::byte> asBytes(const std::string& data) { return std::as_bytes(std::span(data)); }

const QImage& pixelsOf(const ImageRef& image) { return dynamic_cast<const platform::BitmapImage&>(*image).pixels(); }

class Decoding : public testing::TestWithParam<const char*> {};

TEST_P(Decoding, ReadsEachCommonFormatAtOnePixelAPoint) {
  const ImageRef image = platform::decodeImage(asBytes(sonvetta::testdata::encodedPicture(60, 30, GetParam())));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->size(), (Size{60, 30}));
}

INSTANTIATE_TEST_SUITE_P(Formats, Decoding, testing::Values("JPEG", "PNG", "BMP", "WEBP", "TIFF"));

// Qt writes no GIF, so this one is spelled out: one pixel, two colours.
TEST(DecodingGif, ReadsAHandMadeGif) {
  const QByteArray gif = QByteArray::fromBase64("R0lGODlhAQABAIAAAAAAAP///ywAAAAAAQABAAACAUwAOw==");
  const ImageRef image = platform::decodeImage(std::as_bytes(std::span(gif.data(), std::size_t(gif.size()))));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->size(), (Size{1, 1}));
}

TEST(DecodingFailure, BytesWithoutAPictureGiveNone) {
  const std::string png = sonvetta::testdata::encodedPicture(60, 30, "PNG");
  EXPECT_EQ(platform::decodeImage({}), nullptr);
  EXPECT_EQ(platform::decodeImage(asBytes(std::string("not a picture at all"))), nullptr);
  EXPECT_EQ(platform::decodeImage(asBytes(png.substr(0, 40))), nullptr);
}

// A few bytes that declare 30000 x 30000 pixels (3.6 GB decoded).
TEST(DecodingFailure, DeclaredHugePicturesAreRefusedBeforeDecoding) {
  std::string jpeg = sonvetta::testdata::encodedPicture(16, 16, "JPEG");
  const std::size_t frameHeader = jpeg.find("\xFF\xC0");
  ASSERT_NE(frameHeader, std::string::npos);
  jpeg.replace(frameHeader + 5, 4, "\x75\x30\x75\x30");

  std::string bmp = sonvetta::testdata::encodedPicture(16, 16, "BMP");
  bmp.replace(18, 8, std::string("\x30\x75\0\0\x30\x75\0\0", 8));

  EXPECT_EQ(platform::decodeImage(asBytes(jpeg)), nullptr);
  EXPECT_EQ(platform::decodeImage(asBytes(bmp)), nullptr);
}

// Encoders write a dozen scans or so; thousands of nearly empty ones once
// kept the decoder busy for seconds.
TEST(DecodingFailure, JpegsWithAbsurdlyManyScansAreRefused) {
  EXPECT_NE(platform::decodeImage(asBytes(sonvetta::testdata::jpegWithEmptyScans(1024, 10))), nullptr);
  EXPECT_EQ(platform::decodeImage(asBytes(sonvetta::testdata::jpegWithEmptyScans(1024, 2000))), nullptr);
}

// Too large to hold whole, and decoded at half the size instead.
TEST(DecodingLargeJpegs, BaselineAndProgressiveAreDecodedReduced) {
  const std::string baseline = sonvetta::testdata::encodedPicture(5000, 4000, "JPEG");
  const std::string progressive = sonvetta::testdata::progressiveJpeg(5000, 4000);
  for (const std::string* jpeg : {&baseline, &progressive}) {
    const ImageRef image = platform::decodeImage(asBytes(*jpeg));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->size(), (Size{2500, 2000}));
  }
}

TEST(Scaling, StretchesTheWholePictureOverASquareAtTwoPixelsAPoint) {
  // Red left half, blue right half, green bottom quarter.
  const ImageRef picture = platform::decodeImage(asBytes(sonvetta::testdata::encodedPicture(600, 300, "PNG")));
  const ImageRef square = platform::scaledToSquare(*picture, 22);

  ASSERT_NE(square, nullptr);
  EXPECT_EQ(square->size(), (Size{22, 22}));
  const QImage& pixels = pixelsOf(square);
  EXPECT_EQ(pixels.size(), QSize(44, 44));
  EXPECT_EQ(pixels.pixelColor(1, 1), QColor(Qt::red));
  EXPECT_EQ(pixels.pixelColor(42, 1), QColor(Qt::blue));
  EXPECT_EQ(pixels.pixelColor(1, 42), QColor(Qt::green));
  EXPECT_EQ(pixels.pixelColor(42, 42), QColor(Qt::green));
  EXPECT_EQ(pixels.pixelColor(1, 30), QColor(Qt::red));
}

TEST(Scaling, KeepsTheSourceAlpha) {
  QImage translucent(4, 4, QImage::Format_ARGB32);
  translucent.fill(QColor(0, 0, 255, 64));
  const ImageRef square = platform::scaledToSquare(*platform::makeBitmapImage(translucent, 1.0), 3);
  EXPECT_NEAR(pixelsOf(square).pixelColor(2, 2).alpha(), 64, 1);
}

TEST(Scaling, FractionalSidesKeepTheirExactSize) {
  const ImageRef picture = platform::makeBitmapImage(QImage(10, 10, QImage::Format_RGB32), 1.0);
  EXPECT_EQ(platform::scaledToSquare(*picture, 22.5)->size(), (Size{22.5, 22.5}));
  EXPECT_EQ(pixelsOf(platform::scaledToSquare(*picture, 22.5)).size(), QSize(45, 45));
}

TEST(Scaling, NonsensicalSidesGiveNone) {
  const ImageRef picture = platform::makeBitmapImage(QImage(10, 10, QImage::Format_RGB32), 1.0);
  for (const double side : {0.0, -22.0, std::nan(""), std::numeric_limits<double>::infinity(), 1e9}) {
    EXPECT_EQ(platform::scaledToSquare(*picture, side), nullptr) << side;
  }
}

TEST(BitmapImage, MeasuresInPointsAtItsDensity) {
  EXPECT_EQ(platform::makeBitmapImage(QImage(44, 30, QImage::Format_RGB32), 2.0)->size(), (Size{22, 15}));
}

}  // namespace
