#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>

#include "app/marquee/marquee_view.h"
#include "fixed_text_measurer.h"
#include "platform/compositor/frame_composition.h"
#include "platform/render/renderer.h"
#include "platform/text/text_measurer.h"
#include "platform/view/text_field.h"
#include "solid_image.h"

namespace platform {
namespace {

constexpr double speed = 37.0;  // the marquee's, in points per second
const std::string longLine = "Long Title - Some Album - Some Artist";
const QtTextMeasurer toolkitMeasurer;

LayerTree treeOf(const View& root, double density) {
  const LayerTree::Placement placement{&root, {0.0, 0.0}};
  return LayerTree(root.bounds().size, density, Qt::transparent, {&placement, 1}, Qt::black);
}

QImage compositedAt(const View& root, double time, double density) {
  const LayerTree tree = treeOf(root, density);
  return compositeFrame(tree, layerShiftsAt(tree, time));
}

double beginOf(const sonvetta::MarqueeView& marquee) {
  return marquee.subviews().at(0)->layer()->animation("marqueeAnimation")->beginTime;
}

class TreeAtRestTest : public ::testing::TestWithParam<double> {};

TEST_P(TreeAtRestTest, ComposesToExactlyTheRenderersPixels) {
  const double density = GetParam();
  sonvetta::MarqueeView still(Rect(0, 0, 200, 22), toolkitMeasurer);
  still.update(std::make_shared<SolidImage>(Size{1, 1}, Qt::red), "Short line");
  EXPECT_EQ(compositedAt(still, 0, density), renderViewTree(still, 0, density, Qt::black));

  // A scroll begins where the content rests.
  sonvetta::MarqueeView scrolling(Rect(0, 0, 200, 22), toolkitMeasurer);
  scrolling.update(std::make_shared<SolidImage>(Size{1, 1}, Qt::red), longLine + longLine);
  const double begin = beginOf(scrolling);
  EXPECT_EQ(compositedAt(scrolling, begin, density), renderViewTree(scrolling, begin, density, Qt::black));

  // Layers and labels between pixels, a clipping layer, and a label far too
  // long to be drawn whole, seen only at its end.
  View root(Rect(0, 0, 120, 22));
  auto clipping = std::make_shared<View>(Rect(3.25, 1.5, 100, 19));
  clipping->setWantsLayer(true);
  clipping->layer()->setMasksToBounds(true);
  auto label = TextField::labelWithString(std::string(1'000'000, 'x') + "END", toolkitMeasurer);
  label->sizeToFit();
  const Size size = label->frame().size;
  label->setFrame({90.5 - size.width, 2.25, size.width, size.height});
  clipping->addSubview(label);
  auto image = std::make_shared<ImageView>(Rect(95.75, 0.5, 7, 7));
  image->setImage(std::make_shared<SolidImage>(Size{1, 1}, Qt::blue));
  clipping->addSubview(image);
  root.addSubview(clipping);
  EXPECT_EQ(compositedAt(root, 0, density), renderViewTree(root, 0, density, Qt::black));
}

INSTANTIATE_TEST_SUITE_P(Densities, TreeAtRestTest, ::testing::Values(1.0, 1.5, 2.0));

// Whole-point metrics keep every position on the pixel grid, so that the
// renderer draws the moved content at whole pixels too.
class LayerMotionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    marquee.update(std::make_shared<SolidImage>(Size{1, 1}, Qt::red), longLine);  // 22 + 4 + 7 * 37 = 285 points
    begin = beginOf(marquee);
  }

  // Equal but for the last bit of edge coverage: the renderer's moments
  // come from floating-point time.
  static void expectAlike(const QImage& a, const QImage& b) {
    ASSERT_EQ(a.size(), b.size());
    for (int y = 0; y < a.height(); ++y) {
      for (int x = 0; x < a.width(); ++x) {
        const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
        ASSERT_LE(std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q)) +
                      std::abs(qAlpha(p) - qAlpha(q)),
                  4)
            << "at " << x << ", " << y;
      }
    }
  }

  static constexpr double period = (285.0 + 135.0) / speed;
  FixedTextMeasurer metrics{7.0, 16.0};
  sonvetta::MarqueeView marquee{Rect(0, 0, 200, 22), metrics};
  double begin = 0;
};

TEST_F(LayerMotionTest, MovesTheAlreadyDrawnContentByWholePixelsAndLoops) {
  for (const double density : {1.0, 2.0}) {
    for (const double seconds : {0.3, 1.0, 5.55, period + 0.3}) {
      SCOPED_TRACE(testing::Message() << density << "x, " << seconds << " s");
      const double pixels = std::floor(std::fmod(seconds, period) * speed * density + 0.5);
      const QImage frame = compositedAt(marquee, begin + seconds, density);
      expectAlike(frame, renderViewTree(marquee, begin + pixels / (speed * density), density, Qt::black));
      EXPECT_NE(frame, compositedAt(marquee, begin, density));
    }
  }
}

TEST_F(LayerMotionTest, AFrameIsDueWhenALayerHasMovedByAWholePixelAndNeverWhenNothingMoves) {
  for (const double density : {1.0, 2.0}) {
    const LayerTree tree = treeOf(marquee, density);
    const double now = begin + 0.25;
    const double next = nextShiftChangeAfter(tree, now);
    EXPECT_GT(next, now);
    EXPECT_LE(next - now, 1.0 / (speed * density) + 1e-5);
    EXPECT_EQ(layerShiftsAt(tree, next - 1e-4), layerShiftsAt(tree, now));
    EXPECT_NE(layerShiftsAt(tree, next), layerShiftsAt(tree, now));
    // At the end of a pass the content jumps back.
    const double beforeLoop = begin + period - 1e-4;
    EXPECT_LE(nextShiftChangeAfter(tree, beforeLoop), begin + period + 1e-5);
  }

  marquee.update(nullptr, "Fits");
  EXPECT_EQ(nextShiftChangeAfter(treeOf(marquee, 2.0), begin + 1.0), std::numeric_limits<double>::infinity());

  // A pass that ends: due at its begin, not after its end.
  View root(Rect(0, 0, 50, 10));
  auto moving = std::make_shared<View>(Rect(0, 0, 50, 10));
  moving->setWantsLayer(true);
  moving->layer()->addAnimation({.keyPath = translationKeyPath, .toValue = 10.0, .duration = 1.0}, "move");
  root.addSubview(moving);
  const double start = moving->layer()->animation("move")->beginTime;
  const LayerTree tree = treeOf(root, 1.0);
  EXPECT_DOUBLE_EQ(nextShiftChangeAfter(tree, start - 5.0), start);
  EXPECT_EQ(nextShiftChangeAfter(tree, start + 1.5), std::numeric_limits<double>::infinity());
  EXPECT_EQ(layerShiftsAt(tree, start + 1.5), layerShiftsAt(tree, start - 5.0));
}

TEST_F(LayerMotionTest, KeptAsAStillAndAFilmEveryFrameIsTheCompositedOne) {
  for (const double density : {1.0, 2.0}) {
    const LayerTree tree = treeOf(marquee, density);
    const std::optional<Retention> retention = retain(tree);
    ASSERT_TRUE(retention) << density << "x";
    for (const double seconds : {0.0, 0.3, 5.55, period - 0.01, period + 0.3}) {
      SCOPED_TRACE(testing::Message() << density << "x, " << seconds << " s");
      const std::vector<int> shifts = layerShiftsAt(tree, begin + seconds);
      EXPECT_EQ(retention->frame->shownAt(retention->offsetAt(shifts)), compositeFrame(tree, shifts));
    }
  }

  // Something drawn behind the scroll that differs from column to column
  // cannot go with the film.
  View root(Rect(0, 0, 200, 22));
  auto behind = std::make_shared<ImageView>(Rect(100, 0, 22, 22));
  behind->setImage(std::make_shared<SolidImage>(Size{1, 1}, Qt::blue));
  root.addSubview(behind);
  root.addSubview(std::make_shared<sonvetta::MarqueeView>(Rect(0, 0, 200, 22), toolkitMeasurer));
  std::static_pointer_cast<sonvetta::MarqueeView>(root.subviews().back())->update(nullptr, longLine);
  EXPECT_FALSE(retain(treeOf(root, 1.0)));
}

// At the end of a pass the content is back where it began, to the device
// pixel, at a density where a pass is no whole number of pixels and for a
// line far wider than any layer is drawn at once.
TEST(LayerLoopTest, APassEndsExactlyWhereItBeganAndShowsTheWholeLineOnItsWay) {
  for (const auto& [density, text] : {std::pair{1.5, longLine}, {1.0, std::string(5000, 'w') + " END"}}) {
    SCOPED_TRACE(testing::Message() << density << "x, " << text.size() << " characters");
    sonvetta::MarqueeView marquee(Rect(0, 0, 200, 22), toolkitMeasurer);
    marquee.update(nullptr, text);
    const LayerTree tree = treeOf(marquee, density);
    const std::optional<Retention> retention = retain(tree);
    ASSERT_TRUE(retention);
    const BasicAnimation& pass = *marquee.subviews().at(0)->layer()->animation("marqueeAnimation");
    const int passPixels = -static_cast<int>(std::floor(pass.toValue * density + 0.5));
    std::vector<int> shifts = layerShiftsAt(tree, pass.beginTime);
    const QImage start = compositeFrame(tree, shifts);
    shifts[retention->movingLayer] = -passPixels;
    EXPECT_EQ(compositeFrame(tree, shifts), start);
    shifts[retention->movingLayer] = -passPixels + 50;
    const QImage nearTheEnd = compositeFrame(tree, shifts);
    const sonvetta::MarqueeView empty(Rect(0, 0, 200, 22), toolkitMeasurer);
    EXPECT_NE(nearTheEnd, compositeFrame(treeOf(empty, density), shifts))
        << "the line's end is drawn";
  }
}

TEST(LayerTreeTest, EmptyScenesAndDensitiesDrawNothing) {
  const View root(Rect(0, 0, 10, 10));
  const LayerTree::Placement placement{&root, {0.0, 0.0}};
  for (const auto& [size, density] : {std::pair{Size{0, 22}, 1.0}, {Size{10, 10}, 0.0},
                                      {Size{10, 10}, std::nan("")}, {Size{1e9, 22}, 2.0}}) {
    const LayerTree tree(size, density, Qt::white, {&placement, 1}, Qt::black);
    EXPECT_TRUE(compositeFrame(tree, layerShiftsAt(tree, 0)).isNull());
  }
}

}  // namespace
}  // namespace platform
