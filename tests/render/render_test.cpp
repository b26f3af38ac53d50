#include <gtest/gtest.h>

#include <memory>
#include <string>

#include <QTextLayout>

#include "platform/render/renderer.h"
#include "platform/text/qt_font.h"
#include "platform/text/text_line.h"
#include "platform/text/text_measurer.h"
#include "platform/view/image_view.h"
#include "platform/view/text_field.h"
#include "solid_image.h"

namespace platform {
namespace {

bool isBlank(const QImage& image, const QRect& area) {
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      if (qAlpha(image.pixel(x, y)) != 0) return false;
    }
  }
  return true;
}

TEST(QtTextMeasurerTest, MeasuresTheMenuBarFontToFitTheBar) {
  const Font font = Font::menuBarFontOfSize(0.0);
  const QtTextMeasurer measurer;
  const Size short_ = measurer.measure("Music", font);
  const Size long_ = measurer.measure("Music not playing", font);
  EXPECT_GT(short_.width, 20);
  EXPECT_GT(long_.width, short_.width);
  EXPECT_GT(long_.height, 13);
  EXPECT_LT(long_.height, 22);
  EXPECT_EQ(measurer.measure("", font).height, long_.height);
}

// A long line is drawn run by run; each run must stand where the toolkit puts
// its characters when it lays out the whole line as one paragraph, so that
// Hebrew words and the Latin ones between them keep their visual order.
TEST(QtTextMeasurerTest, RunsOfALongBidirectionalLineStandInItsVisualOrder) {
  const Font font = Font::menuBarFontOfSize(0.0);
  const QtTextMeasurer measurer;
  for (const char* words : {"שיר השירים אשר לשלמה ", "שיר ראשון - Album 2 (live) - אמן "}) {
    std::string text;
    while (text.size() < 400) text += words;
    const TextLine line(text, font, measurer);
    const auto runs = line.runsBetween(-1e9, 1e9);
    ASSERT_GT(runs.size(), 1U) << words;

    QTextLayout layout(QString::fromStdString(text), qtFont(font));
    QTextOption leftToRight;
    leftToRight.setTextDirection(Qt::LeftToRight);
    layout.setTextOption(leftToRight);
    layout.beginLayout();
    const QTextLine whole = layout.createLine();
    layout.endLayout();
    for (const TextLine::Run& run : runs) {
      // A character in the middle of the run, away from its edges, where the
      // cursor's place between two directions is a matter of choice.
      const auto start = QString::fromStdString(text.substr(0, run.begin)).size();
      const auto length = QString::fromStdString(text.substr(run.begin, run.length)).size();
      const double middle = (whole.cursorToX(start + length / 2) + whole.cursorToX(start + length / 2 + 1)) / 2.0;
      EXPECT_GE(middle, run.x - 1.0) << words << " at byte " << run.begin;
      EXPECT_LE(middle, run.x + run.width + 1.0) << words << " at byte " << run.begin;
    }
  }
}

TEST(RendererTest, ImagesAreScaledProportionallyAndCentredInTheirFlippedFrame) {
  View root(Rect(0, 0, 22, 44));
  auto imageView = std::make_shared<ImageView>(Rect(0, 0, 22, 22));  // the lower half
  imageView->setImageScaling(ImageScaling::proportionallyUpOrDown);
  imageView->setImage(std::make_shared<SolidImage>(Size{2, 1}, Qt::red));
  root.addSubview(imageView);

  const QImage picture = renderViewTree(root, 0, 2.0, Qt::black);
  ASSERT_EQ(picture.size(), QSize(44, 88));
  EXPECT_EQ(picture.devicePixelRatio(), 2.0);
  EXPECT_TRUE(isBlank(picture, QRect(0, 0, 44, 55)));
  EXPECT_EQ(picture.pixel(0, 55), QColor(Qt::red).rgba());
  EXPECT_EQ(picture.pixel(43, 76), QColor(Qt::red).rgba());
  EXPECT_TRUE(isBlank(picture, QRect(0, 77, 44, 11)));
}

// Also shows that a long label draws the part in sight, in the right place.
TEST(RendererTest, LabelsDrawInTheGivenTextColourOnAClearBackground) {
  const std::string text = std::string(1'000'000, 'x') + "END";
  View root(Rect(0, 0, 200, 22));
  const QtTextMeasurer fonts;
  auto label = TextField::labelWithString(text, fonts);
  label->sizeToFit();
  const double width = label->frame().width();
  label->setFrame({200 - width, 3, width, label->frame().height()});  // only its last 200 points in sight
  root.addSubview(label);

  const QImage picture = renderViewTree(root, 0, 2.0, QColor(0, 200, 0));
  int inked = 0;
  for (int y = 0; y < picture.height(); ++y) {
    for (int x = 0; x < picture.width(); ++x) {
      const QColor pixel = QColor::fromRgba(picture.pixel(x, y));
      inked += pixel.alpha() > 0;
      ASSERT_EQ(pixel.red() + pixel.blue(), 0);
    }
  }
  EXPECT_GT(inked, 500);
}

TEST(RendererTest, ImagesAreRasterizedAtTheirDensityAndEmptyOnesNotAtAll) {
  EXPECT_TRUE(renderViewTree(View(Rect(5, 5, 0, 0)), 0, 2.0, Qt::black).isNull());
  EXPECT_TRUE(renderViewTree(View(Rect(0, 0, 10, 10)), 0, 0.0, Qt::black).isNull());
  View root(Rect(0, 0, 3, 2));
  auto imageView = std::make_shared<ImageView>(Rect(0, 0, 3, 2));
  root.addSubview(imageView);
  imageView->setImage(std::make_shared<SolidImage>(Size{0, 4}, Qt::red));
  EXPECT_TRUE(isBlank(renderViewTree(root, 0, 2.0, Qt::black), QRect(0, 0, 6, 4)));
  imageView->setImage(std::make_shared<SolidImage>(Size{3, 2}, Qt::red));
  const QImage pixels = renderViewTree(root, 0, 2.0, Qt::black);
  ASSERT_EQ(pixels.size(), QSize(6, 4));
  EXPECT_EQ(pixels.devicePixelRatio(), 2.0);
  EXPECT_EQ(pixels.pixel(0, 0), QColor(Qt::red).rgba());
  EXPECT_EQ(pixels.pixel(5, 3), QColor(Qt::red).rgba());
}

}  // namespace
}  // namespace platform
