#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "app/marquee/marquee_view.h"
#include "fixed_text_measurer.h"
#include "platform/render/renderer.h"
#include "platform/text/text_measurer.h"
#include "solid_image.h"

namespace sonvetta {
namespace {

using platform::Rect;

constexpr double density = 2.0;
constexpr int pixelsPerPoint = 2;

// Whole-point metrics keep every position on the pixel grid, so that the
// same content moved by whole points gives the same pixels.
class MarqueeRenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    marquee.update(std::make_shared<platform::SolidImage>(platform::Size{1, 1}, Qt::red),
                   "Long Title - Some Album - Some Artist");  // one copy: 22 + 4 + 37 * 7 = 285 points
    begin = marquee.subviews().at(0)->layer()->animation("marqueeAnimation")->beginTime;
  }

  QImage at(double secondsAfterBegin) const {
    return platform::renderViewTree(marquee, begin + secondsAfterBegin, density, Qt::black);
  }

  // Column `x` of `a` equals column `x + offset` of `b` for every x where
  // both exist, but for the last bit of edge coverage: the moments come
  // from floating-point time, so a position may be off by a billionth.
  static void expectShifted(const QImage& a, const QImage& b, int offset) {
    const auto near = [](int p, int q) { return std::abs(p - q) <= 2; };
    for (int x = std::max(0, -offset); x < a.width() && x + offset < b.width(); ++x) {
      for (int y = 0; y < a.height(); ++y) {
        const QRgb p = a.pixel(x, y), q = b.pixel(x + offset, y);
        ASSERT_TRUE(near(qRed(p), qRed(q)) && near(qGreen(p), qGreen(q)) && near(qBlue(p), qBlue(q)) &&
                    near(qAlpha(p), qAlpha(q)))
            << "at " << x << ", " << y;
      }
    }
  }

  static constexpr double period = 285 + 135;
  platform::FixedTextMeasurer metrics{7.0, 16.0};
  MarqueeView marquee{Rect(0, 0, 200, 22), metrics};
  double begin = 0;
};

TEST_F(MarqueeRenderTest, TheContentMovesThirtySevenPointsASecond) {
  const QImage start = at(0);
  const QImage later = at(1);
  ASSERT_NE(start, later);
  expectShifted(later, start, 37 * pixelsPerPoint);
}

TEST_F(MarqueeRenderTest, TheLoopIsSeamless) {
  const QImage start = at(0);
  expectShifted(at(period / 37), start, 0);

  // Two points before the loop ends the second copy stands two points
  // right of where the first one began, with the empty gap before it.
  const QImage nearlyRound = at((period - 2) / 37);
  expectShifted(nearlyRound, start, -2 * pixelsPerPoint);
  for (int x = 0; x < 2 * pixelsPerPoint; ++x) {
    for (int y = 0; y < nearlyRound.height(); ++y) ASSERT_LE(qAlpha(nearlyRound.pixel(x, y)), 2);
  }
}

TEST_F(MarqueeRenderTest, ContentBeyondTheViewIsClipped) {
  platform::View root(Rect(0, 0, 400, 22));
  auto shifted = std::make_shared<MarqueeView>(Rect(100, 0, 200, 22), metrics);
  root.addSubview(shifted);
  shifted->update(nullptr, "Long Title - Some Album - Some Artist");
  const QImage picture = platform::renderViewTree(root, 0, 1.0, Qt::black);
  for (int y = 0; y < picture.height(); ++y) {
    for (int x : {0, 99, 300, 399}) ASSERT_EQ(qAlpha(picture.pixel(x, y)), 0);
  }
}

TEST(MarqueeRenderBadInput, AMegabyteOfScrollingTextWithTheRealFontsRendersQuietly) {
  const platform::QtTextMeasurer fonts;
  MarqueeView marquee(Rect(0, 0, 200, 22), fonts);
  marquee.update(nullptr, std::string(1'000'000, 'x'));
  const QImage picture = platform::renderViewTree(marquee, 1e6, density, Qt::black);
  EXPECT_EQ(picture.size(), QSize(400, 44));
}

}  // namespace
}  // namespace sonvetta
